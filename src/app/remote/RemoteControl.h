// The remote-control endpoints of the running document: the OSC listener (UDP, every IPv4
// interface) and the loopback HTTP API. Both servers receive on threads of their own and hand
// every message to the main thread, where it acts on the document only through the document
// controller's and the plotter link's public operations. Main thread only.
#pragma once

#include "app/document/VectorizerController.h"
#include "app/plotter/PlottingService.h"
#include "core/osc/OSCCodec.h"

#include <QObject>
#include <QPointer>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace ostrel {

class HTTPServer;
class OSCMessageQueue;
class OSCUDPServer;

/// Renders a window offscreen for the snapshot route. The window implements it; without one the
/// route answers as it does when no picture comes back.
class SnapshotSource {
public:
    virtual ~SnapshotSource() = default;
    /// PNG bytes of a window showing a copy of `document` in the view the request's `query` names,
    /// or none. `document` itself stays untouched.
    [[nodiscard]] virtual std::optional<std::string> snapshotPNG(const VectorizerController& document,
                                                                 const std::string& query) = 0;
};

class RemoteControl final : public QObject {
    Q_OBJECT

public:
    /// Stopped endpoints for `document`, which must outlive any message they act on (a message
    /// that arrives after the document is gone does nothing; the HTTP API answers 503).
    /// `plotting` (held weakly, may be null) carries the plotter commands; without it they do nothing.
    explicit RemoteControl(VectorizerController& document, PlottingService* plotting = nullptr,
                           QObject* parent = nullptr);
    ~RemoteControl() override;
    RemoteControl(const RemoteControl&) = delete;
    RemoteControl& operator=(const RemoteControl&) = delete;

    /// The OSC server on OSTREL_OSC_IN_PORT (else 9140), then the HTTP server on OSTREL_API_PORT
    /// (else 17940). Neither failure stops the other or the document.
    void startServices();
    /// Replaces the OSC listener by one on `port` (kept, stopped, when it cannot bind).
    void startOSCServer(std::uint16_t port);
    /// Moves the OSC listener to `port` without ever losing it: a new socket is bound first and
    /// replaces the old listener only when it binds; otherwise the old listener stays (started
    /// again on its own port when it had stopped). A listener already running on `port` is left
    /// alone. True when a listener runs on `port` afterwards.
    bool moveOSCServer(std::uint16_t port);
    /// Moves the HTTP API to `port` the same way: bound first, swapped on success, the old
    /// listener kept on failure, a listener already on `port` left alone.
    bool moveHTTPServer(std::uint16_t port);

    /// Which of the ports given to applyPorts could not be taken (each none when not asked for or
    /// taken).
    struct PortChange {
        std::optional<std::uint16_t> refusedOSCPort;
        std::optional<std::uint16_t> refusedHTTPPort;
        [[nodiscard]] bool succeeded() const noexcept { return !refusedOSCPort && !refusedHTTPPort; }
    };
    /// Moves the OSC listener, then the HTTP API, to the ports given (none: that server is not
    /// touched).
    PortChange applyPorts(std::optional<std::uint16_t> oscPort, std::optional<std::uint16_t> httpPort);
    /// Acts on one message addressed under /ostrel/ (main thread).
    void handleOSCMessage(const OSCCodec::Message& message);
    /// Received OSC messages wait here for the main thread: at most kOSCQueueCapacity, a parameter
    /// message replacing the waiting one for the same parameter, the excess dropped and counted.
    [[nodiscard]] const OSCMessageQueue& oscQueue() const noexcept { return *oscQueue_; }
    static constexpr std::size_t kOSCQueueCapacity = 256;
    /// The longest the main thread spends on waiting OSC messages before it turns its event loop
    /// again (one message may take longer: a run at once, an image opened).
    static constexpr std::chrono::milliseconds kOSCTimePerTurn{4};
    /// (Re)starts the HTTP API on `port`, or on OSTREL_API_PORT's when none; false when it cannot bind.
    bool startHTTPServer(std::optional<std::uint16_t> port = std::nullopt);
    /// Closes the HTTP listener.
    void stopHTTPServer();
    /// Cancels the document's pending background run, stops the OSC server (it stays set) and
    /// closes the HTTP listener. Called once when the application ends; never fails.
    void stopAllServices();

    [[nodiscard]] const OSCUDPServer* oscServer() const noexcept { return oscServer_.get(); }
    /// The port the OSC server listens on (or was asked for); 9140 without a server.
    [[nodiscard]] std::uint16_t oscPort() const noexcept;
    /// The port the HTTP server is bound to; 17940 before it ever started.
    [[nodiscard]] std::uint16_t httpPort() const noexcept;
    [[nodiscard]] bool isHTTPServerRunning() const noexcept;

    /// The document the endpoints act on; null once it is gone.
    [[nodiscard]] VectorizerController* document() const noexcept { return document_.data(); }
    /// The plotting service the plotter commands go to; null without one or once it is gone.
    [[nodiscard]] PlottingService* plotting() const noexcept { return plotting_.data(); }

    /// Where the snapshot route gets its picture; null (the default) for none. Not owned.
    void setSnapshotSource(SnapshotSource* source) noexcept { snapshotSource_ = source; }
    [[nodiscard]] SnapshotSource* snapshotSource() const noexcept { return snapshotSource_; }

signals:
    void oscServerChanged();
    void httpPortChanged();

private:
    [[nodiscard]] std::unique_ptr<OSCUDPServer> makeOSCServer(std::uint16_t port);
    [[nodiscard]] std::unique_ptr<HTTPServer> makeHTTPServer();
    /// Acts on waiting OSC messages for at most kOSCTimePerTurn, then posts itself again when some
    /// are left, so that other events (an HTTP request, a repaint) are served in between.
    void drainOSCMessages();

    QPointer<VectorizerController> document_;
    QPointer<PlottingService> plotting_;
    const std::shared_ptr<OSCMessageQueue> oscQueue_;  // shared with the receive thread's handler
    std::unique_ptr<OSCUDPServer> oscServer_;
    std::unique_ptr<HTTPServer> httpServer_;
    SnapshotSource* snapshotSource_ = nullptr;
};

}  // namespace ostrel
