// What one move of the level slider costs, from the window's slider to a datagram on loopback,
// and what one poll reply costs to turn into a node's rows.
#include <benchmark/benchmark.h>

#include <QApplication>

#include "discovery/DeviceRows.h"
#include "res/ResourceIds.h"
#include "testing/MainWindow.h"
#include "testing/MessageRecorder.h"
#include "testing/PeerSocket.h"

namespace {

// Settings as the fields might hold them before clamping: one value out of range each.
output::OutputSettings FieldSettings() {
    output::OutputSettings settings;
    settings.channelCount = 600;
    settings.dataFormat = output::kRaw;
    settings.universe = 0;
    settings.startCode = 0;
    return settings;
}

void BM_BuildDmxData(benchmark::State& state) {
    protocol::DmxBuffer buffer;
    protocol::DmxDataFields fields;
    fields.channelCount = static_cast<int>(protocol::kMaxChannels);
    for (auto _ : state) {
        fields.level = static_cast<std::uint8_t>(fields.level + 1);
        benchmark::DoNotOptimize(protocol::BuildDmxData(fields, buffer));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(buffer.size()));
}
BENCHMARK(BM_BuildDmxData);

void BM_BuildLevelMessage(benchmark::State& state) {
    const output::OutputSettings settings = FieldSettings();
    protocol::DmxBuffer buffer;
    std::uint8_t level = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(output::BuildLevelMessage(settings, ++level, buffer));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_BuildLevelMessage);

void BM_FormatLevelText(benchmark::State& state) {
    int level = 0;
    for (auto _ : state) {
        level = (level + 1) & 0xFF;
        benchmark::DoNotOptimize(output::FormatLevelText(level));
    }
}
BENCHMARK(BM_FormatLevelText);

// The real main window on a port the system chooses, with a loopback host address, so every
// datagram goes to 127.0.0.255 and stays on this machine.
std::unique_ptr<CNodeTestDlg> OpenLoopbackWindow() {
    net::NodeSocketEnvironment environment = testing_support::WindowEnvironment(0, "127.0.0.1");
    // The window hears its own sends and its tick never runs here: a queue this small is full
    // at once, so every measured send ends in the same kernel drop.
    environment.receiveBufferBytes = 1;
    return testing_support::OpenMainWindow(std::move(environment));
}

// Empty when the window sends on loopback and has shown no message box, a failed send's too.
std::string Problem(const CNodeTestDlg& window, const testing_support::MessageRecorder& boxes) {
    if (!window.Socket().IsOpen()) return "the window did not open its socket";
    if (window.BroadcastAddress() != "127.0.0.255") return "broadcast address is not on loopback";
    return boxes.Messages().empty() ? std::string() : "message box: " + boxes.Messages().front();
}

// Moves the thumb to the top, level 255, and reads that message where a node would.
bool TopLevelArrives(CNodeTestDlg& window, QSlider& slider) {
    testing_support::PeerSocket node("127.0.0.255", window.Socket().Port(), true);
    slider.triggerAction(QAbstractSlider::SliderToMinimum);
    const auto datagram = node.Receive(std::chrono::seconds(1));
    return datagram && datagram->bytes.size() == protocol::kDmxBufferLength &&
           datagram->bytes[protocol::kDmxHeaderLength] == 0xFF;
}

// One line of the slider per move, as a key press makes it, through the window's routing into
// its level sender. Hidden and with no event loop, so no painting enters the figure.
void BM_LevelToDatagram(benchmark::State& state) {
    testing_support::MessageRecorder boxes;
    auto window = OpenLoopbackWindow();
    auto* slider = qobject_cast<QSlider*>(window->Item(res::kIdSlider));
    std::string problem = slider ? Problem(*window, boxes) : "the window has no level slider";
    if (!problem.empty()) return state.SkipWithError(problem.c_str());
    for (auto _ : state) {
        slider->triggerAction(slider->sliderPosition() == slider->maximum()
                                  ? QAbstractSlider::SliderSingleStepSub
                                  : QAbstractSlider::SliderSingleStepAdd);
    }
    problem = Problem(*window, boxes);
    if (problem.empty() && !TopLevelArrives(*window, *slider)) problem = "no level on loopback";
    if (!problem.empty()) state.SkipWithError(problem.c_str());
    state.SetBytesProcessed(state.iterations() * std::int64_t{protocol::kDmxBufferLength});
}
BENCHMARK(BM_LevelToDatagram);

void BM_FormatRows(benchmark::State& state) {
    protocol::PollReplyMessage reply;
    reply.name = "SimNode1";
    reply.options = protocol::kOptionConfigured | protocol::kOptionErrorCorrection;
    for (auto _ : state) {
        ++reply.universe;
        benchmark::DoNotOptimize(discovery::FormatRows(reply, "10.1.2.20"));
    }
}
BENCHMARK(BM_FormatRows);

// The floor: the same 522 bytes to the same kind of address from a plain socket, which hears
// them itself and, like the window's, drops them at once.
void BM_BareSendto(benchmark::State& state) {
    testing_support::PeerSocket socket("127.0.0.255");
    socket.SetReceiveBuffer(1);
    protocol::DmxBuffer buffer;
    const std::vector<std::uint8_t> bytes(buffer.begin(),
                                          buffer.begin() + protocol::BuildDmxData({}, buffer));
    for (auto _ : state) {
        if (!socket.SendTo("127.0.0.255", socket.Port(), bytes)) {
            state.SkipWithError("sendto failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(BM_BareSendto);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    // The window is driven, never looked at: no display needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
