#include "app/remote/RemoteControl.h"

#include "app/document/VectorizerController.h"
#include "app/remote/HTTPRoutes.h"
#include "app/remote/OSCCommands.h"
#include "core/http/HTTPServer.h"
#include "core/osc/OSCUDPServer.h"

#include <QCoreApplication>

namespace ostrel {

RemoteControl::RemoteControl(VectorizerController& document, QObject* parent)
    : QObject(parent), document_(&document) {}

RemoteControl::~RemoteControl() {
    // The servers' threads reach this object only through weak pointers; stop them first.
    if (oscServer_) oscServer_->stop();
    if (httpServer_) httpServer_->stop();
}

void RemoteControl::startServices() {
    startOSCServer(oscInPortFromEnvironment());
    startHTTPServer();
}

void RemoteControl::startOSCServer(std::uint16_t port) {
    if (oscServer_) oscServer_->stop();
    QPointer<RemoteControl> self(this);
    auto server = std::make_unique<OSCUDPServer>(port, [self](const OSCCodec::Message& message) {
        // On the receive thread: hand the message to the main thread, in order.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, message] {
                if (self) self->handleOSCMessage(message);
            },
            Qt::QueuedConnection);
    });
    server->start();
    oscServer_ = std::move(server);
    emit oscServerChanged();
}

void RemoteControl::handleOSCMessage(const OSCCodec::Message& message) {
    if (document_) applyOSCCommand(*document_, message);
}

bool RemoteControl::startHTTPServer(std::optional<std::uint16_t> port) {
    if (!httpServer_) {
        QPointer<RemoteControl> self(this);
        httpServer_ = std::make_unique<HTTPServer>([self](const HTTPRequest& request) {
            if (!self || !self->document_) return HTTPResponse::error(503, "The document is gone");
            return dispatchHTTPRequest(*self, request);
        });
    }
    const bool started = httpServer_->start(port);
    emit httpPortChanged();
    return started;
}

void RemoteControl::stopHTTPServer() {
    if (httpServer_) httpServer_->stop();
}

void RemoteControl::stopAllServices() {
    if (document_) document_->cancelScheduledVectorization();
    if (oscServer_) oscServer_->stop();
    stopHTTPServer();
}

std::uint16_t RemoteControl::oscPort() const noexcept {
    return oscServer_ ? oscServer_->port() : kOstrelDefaultOSCInPort;
}

std::uint16_t RemoteControl::httpPort() const noexcept {
    return httpServer_ ? httpServer_->port() : kOstrelDefaultHTTPPort;
}

bool RemoteControl::isHTTPServerRunning() const noexcept { return httpServer_ && httpServer_->isRunning(); }

}  // namespace ostrel
