// Loopback HTTP API: requests per second and latency percentiles of a GET with
// one connection at a time (connect, request, read to the close), the handler
// answering a small JSON object on the Qt main thread; then the same GET while
// other clients hold connections open, idle or trickling a body in (target:
// p99 within 50 ms with 20 idle and 5 trickling).
#include "core/http/HTTPServer.h"

#include "core/support/system/FileDescriptor.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace ostrel;

FileDescriptor connectTo(std::uint16_t port) {
    FileDescriptor socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return {};
    return socket;
}

// One request on a fresh connection; returns the number of bytes received.
std::size_t getOnce(std::uint16_t port) {
    FileDescriptor socket = connectTo(port);
    if (!socket.valid()) return 0;
    constexpr std::string_view kRequest = "GET /v1/status HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    if (::send(socket.get(), kRequest.data(), kRequest.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(kRequest.size())) {
        return 0;
    }
    char buffer[4096];
    std::size_t total = 0;
    for (;;) {
        const ssize_t n = ::recv(socket.get(), buffer, sizeof buffer, 0);
        if (n <= 0) return total;
        total += static_cast<std::size_t>(n);
    }
}

// Clients that hold connections open: `idle` send nothing, `trickling` declare a body and send one
// byte of it every 100 ms. A connection the server drops (its request deadline) is opened again.
class HeldConnections {
public:
    HeldConnections(std::uint16_t port, int idle, int trickling) : port_(port) {
        for (int i = 0; i < idle + trickling; ++i) held_.push_back({{}, i >= idle});
        thread_ = std::thread([this] { keep(); });
    }
    ~HeldConnections() {
        stop_ = true;
        thread_.join();
    }

private:
    struct Held {
        FileDescriptor socket;
        bool trickling = false;
    };
    void keep() {
        while (!stop_) {
            for (Held& held : held_) {
                char byte = 0;
                const bool open =
                    held.socket.valid() && ::recv(held.socket.get(), &byte, 1, MSG_DONTWAIT) < 0 && errno == EAGAIN;
                if (!open) {
                    held.socket = connectTo(port_);
                    constexpr std::string_view kHead = "POST /v1/params HTTP/1.1\r\nContent-Length: 100000\r\n\r\n";
                    if (held.trickling) (void)::send(held.socket.get(), kHead.data(), kHead.size(), MSG_NOSIGNAL);
                } else if (held.trickling) {
                    (void)::send(held.socket.get(), " ", 1, MSG_NOSIGNAL);
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }

    const std::uint16_t port_;
    std::vector<Held> held_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Arguments: idle connections, trickling connections held open meanwhile.
void BM_HTTPGetStatus(benchmark::State& state) {
    HTTPServer server([](const HTTPRequest& request) {
        return HTTPResponse::json(200, Json{{"app", "Ostrel"},
                                            {"path", request.path},
                                            {"penCount", 2},
                                            {"isProcessing", false},
                                            {"apiPort", 17940}});
    });
    if (!server.start(0)) {
        state.SkipWithError("cannot listen on 127.0.0.1");
        return;
    }
    HeldConnections held(server.port(), static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the held connections are accepted
    std::vector<double> latencies;                                // microseconds, one per request
    std::size_t bytes = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const std::size_t received = getOnce(server.port());
        latencies.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
        if (received == 0) {
            state.SkipWithError("no answer");
            break;
        }
        bytes += received;
    }
    std::sort(latencies.begin(), latencies.end());
    const auto percentile = [&](double p) {
        if (latencies.empty()) return 0.0;
        return latencies[std::min(latencies.size() - 1,
                                  static_cast<std::size_t>(p * static_cast<double>(latencies.size())))];
    };
    state.counters["p50_us"] = percentile(0.50);
    state.counters["p99_us"] = percentile(0.99);
    state.counters["max_us"] = latencies.empty() ? 0.0 : latencies.back();
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_HTTPGetStatus)->Args({0, 0})->Args({20, 5})->UseRealTime()->MinTime(2.0);

}  // namespace

// The handler runs on the Qt main thread, so the benchmarks run on another one
// while this thread turns the event loop.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    std::thread runner([&app] {
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    app.exec();
    runner.join();
    return 0;
}
