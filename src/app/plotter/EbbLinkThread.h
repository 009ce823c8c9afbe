// The plotter's serial link on a thread of its own. The controller posts jobs; the link thread runs
// them one at a time in the order they were posted, each with the session that owns the open
// device (the serial board or the simulator), so the main thread never waits for a board's reply.
// Jobs report back by posting to the main thread themselves, which keeps their reports in the same
// order.
#pragma once

#include "core/plotter/AxiDrawConfig.h"
#include "core/plotter/AxiDrawPortDevice.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace ostrel {

class PlotterDevice;

/// What a job may do with the link. Link thread only.
class EbbLinkSession {
public:
    EbbLinkSession();
    ~EbbLinkSession();
    EbbLinkSession(const EbbLinkSession&) = delete;
    EbbLinkSession& operator=(const EbbLinkSession&) = delete;

    /// Opens `device` unless the link is already open on it (another link is closed first); a new
    /// link gets the servo and motor set-up of `config`. Returns whether it opened a link. Throws
    /// the device's error when it cannot be opened or the set-up fails.
    bool connect(const AxiDrawPortDevice& device, const AxiDrawConfig& config);
    /// The pen-up and pen-down servo positions of `config`, then "SC,10,65535" and "EM,1,1", each
    /// with a 2500 ms reply time-out; throws the first failure and sends nothing after it.
    void sendSetup(const AxiDrawConfig& config);
    /// One command on the open link; throws the device's error, or a closed-port error without
    /// a link.
    void send(std::string_view command, int timeoutMs);
    /// Throws a closed-port error unless the link is open on `device` (devices compare by path).
    void requireDevice(const AxiDrawPortDevice& device) const;

    [[nodiscard]] bool isOpen() const noexcept;
    /// The link's device; meaningful only while one was opened.
    [[nodiscard]] AxiDrawPortDevice device() const;
    [[nodiscard]] std::string firmwareVersion() const;

private:
    std::unique_ptr<PlotterDevice> device_;
};

class EbbLinkThread {
public:
    using Job = std::function<void(EbbLinkSession&)>;

    EbbLinkThread();
    /// Runs the jobs still queued (each command is bounded by its time-out), then ends the thread.
    ~EbbLinkThread();
    EbbLinkThread(const EbbLinkThread&) = delete;
    EbbLinkThread& operator=(const EbbLinkThread&) = delete;

    /// Queues `job` behind the jobs posted before it. Never blocks on the link.
    void post(Job job);

private:
    void serve();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    bool stopping_ = false;
    EbbLinkSession session_;
    std::thread thread_;
};

}  // namespace ostrel
