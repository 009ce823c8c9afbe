#include "app/remote/RemoteControl.h"

#include "app/document/VectorizerController.h"
#include "app/remote/HTTPRoutes.h"
#include "app/remote/OSCCommands.h"
#include "core/http/HTTPServer.h"
#include "core/osc/OSCMessageQueue.h"
#include "core/osc/OSCUDPServer.h"

#include <QCoreApplication>

namespace ostrel {

RemoteControl::RemoteControl(VectorizerController& document, PlottingService* plotting, QObject* parent)
    : QObject(parent),
      document_(&document),
      plotting_(plotting),
      oscQueue_(std::make_shared<OSCMessageQueue>(kOSCQueueCapacity, &oscParameterKey)) {}

RemoteControl::~RemoteControl() {
    // The servers' threads reach this object only through weak pointers; stop them first.
    if (oscServer_) oscServer_->stop();
    if (httpServer_) httpServer_->stop();
}

void RemoteControl::startServices() {
    startOSCServer(oscInPortFromEnvironment());
    startHTTPServer();
}

std::unique_ptr<OSCUDPServer> RemoteControl::makeOSCServer(std::uint16_t port) {
    QPointer<RemoteControl> self(this);
    return std::make_unique<OSCUDPServer>(port, [self, queue = oscQueue_](const OSCCodec::Message& message) {
        // On the receive thread: queue the message; the first one after the queue ran dry wakes
        // the main thread, which then takes them in order.
        if (!queue->push(message)) return;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self] {
                if (self) self->drainOSCMessages();
            },
            Qt::QueuedConnection);
    });
}

void RemoteControl::drainOSCMessages() {
    const auto until = std::chrono::steady_clock::now() + kOSCTimePerTurn;
    while (std::optional<OSCCodec::Message> message = oscQueue_->pop()) {
        handleOSCMessage(*message);
        if (std::chrono::steady_clock::now() >= until) {
            QMetaObject::invokeMethod(this, &RemoteControl::drainOSCMessages, Qt::QueuedConnection);
            return;
        }
    }
}

std::unique_ptr<HTTPServer> RemoteControl::makeHTTPServer() {
    QPointer<RemoteControl> self(this);
    return std::make_unique<HTTPServer>([self](const HTTPRequest& request) {
        if (!self || !self->document_) return HTTPResponse::error(503, "The document is gone");
        return dispatchHTTPRequest(*self, request);
    });
}

void RemoteControl::startOSCServer(std::uint16_t port) {
    if (oscServer_) oscServer_->stop();
    auto server = makeOSCServer(port);
    server->start();
    oscServer_ = std::move(server);
    emit oscServerChanged();
}

bool RemoteControl::moveOSCServer(std::uint16_t port) {
    if (oscServer_ && oscServer_->port() == port) {
        // The same port: a running listener stays as it is; a stopped one tries again.
        if (oscServer_->isRunning()) return true;
        const bool running = oscServer_->start();
        emit oscServerChanged();
        return running;
    }
    auto server = makeOSCServer(port);
    if (!server->start()) {
        if (oscServer_ && !oscServer_->isRunning()) {
            oscServer_->start();
            emit oscServerChanged();
        }
        return false;
    }
    if (oscServer_) oscServer_->stop();
    oscServer_ = std::move(server);
    emit oscServerChanged();
    return true;
}

bool RemoteControl::moveHTTPServer(std::uint16_t port) {
    if (httpServer_ && httpServer_->isRunning() && httpServer_->port() == port) return true;
    auto server = makeHTTPServer();
    if (!server->start(port)) return false;
    if (httpServer_) httpServer_->stop();
    httpServer_ = std::move(server);
    emit httpPortChanged();
    return true;
}

RemoteControl::PortChange RemoteControl::applyPorts(std::optional<std::uint16_t> oscPort,
                                                    std::optional<std::uint16_t> httpPort) {
    PortChange change;
    if (oscPort && !moveOSCServer(*oscPort)) change.refusedOSCPort = oscPort;
    if (httpPort && !moveHTTPServer(*httpPort)) change.refusedHTTPPort = httpPort;
    return change;
}

void RemoteControl::handleOSCMessage(const OSCCodec::Message& message) {
    if (document_) applyOSCCommand(*document_, plotting_.data(), message);
}

bool RemoteControl::startHTTPServer(std::optional<std::uint16_t> port) {
    if (!httpServer_) httpServer_ = makeHTTPServer();
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
