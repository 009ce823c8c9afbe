// Remote control latency: from an OSC parameter message sent over UDP to the
// result applied on the main thread, on the portrait drawing.
#include "app/document/VectorizerController.h"
#include "app/remote/RemoteControl.h"
#include "core/osc/OSCCodec.h"
#include "core/osc/OSCUDPServer.h"

#include <QApplication>
#include <QEventLoop>
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace {

using namespace ostrel;

void sendDatagram(int fd, std::uint16_t port, const std::vector<std::uint8_t>& bytes) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

/// `/ostrel/smoothing` (stage B only, stage A reused) or `/ostrel/threshold` (a full run) to the
/// applied result.
void BM_OSCMessageToAppliedResult(benchmark::State& state) {
    const bool fullRun = state.range(0) == 1;
    VectorizerController controller;
    RemoteControl remote{controller};
    controller.loadPreset(SyntheticPreset::portrait, true);
    remote.startOSCServer(0);
    const std::uint16_t port = remote.oscServer()->port();
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    int applied = 0;
    QObject::connect(&controller, &VectorizerController::resultChanged, [&] {
        if (controller.result()) ++applied;
    });
    int k = 0;
    for (auto _ : state) {
        ++k;
        const OSCCodec::Message message =
            fullRun ? OSCCodec::Message{"/ostrel/threshold", {OSCCodec::Value::integer(120 + k % 2)}}
                    : OSCCodec::Message{"/ostrel/smoothing", {OSCCodec::Value::real(k % 2 ? 0.5f : 0.6f)}};
        const int before = applied;
        sendDatagram(fd, port, OSCCodec::encode(message));
        while (applied == before) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    ::close(fd);
    remote.stopAllServices();
    state.SetLabel(fullRun ? "threshold: stages A and B" : "smoothing: stage B on cached stage A");
}
BENCHMARK(BM_OSCMessageToAppliedResult)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
