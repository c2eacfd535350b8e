// Short barrier pulses: 10,000 pulses of 2 ms width on DSR, 1 to 3 ms apart,
// while the GUI thread is busy for 20 ms every 100 ms, so many pulses are over
// before the GUI thread gets to them. Every pulse must arrive as its on-edge
// (and its off-edge), none lost, none merged. Once with the simulated device,
// once through the Linux device's own code on scripted system calls (the
// interrupt counters and the guard of the wait's window).
#include "BenchSupport.h"
#include "comm/Comms.h"
#include "platform/Scheduling.h"
#include "platform/SerialLinux.h"
#include "support/ScriptedSerial.h"
#include "support/SerialSim.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <thread>

#include <sys/ioctl.h>

namespace {

using Clock = std::chrono::steady_clock;

const int kPulses = Scaled(10000, 1000);

struct Outcome {
    int onEdges = 0;
    int offEdges = 0;
    int foundLate = 0;
    double seconds = 0;
};

// Drives the pulses through `setLine` while a port delivers them.
Outcome Run(QCoreApplication& app, const std::function<void(bool on)>& setLine)
{
    TComPort port;
    port.SetPort(1);
    port.SetEvents({ evCTS, evDSR });
    Outcome outcome;
    port.OnDSR = [&](QObject*) {
        const platform::LineEvent* change = port.DispatchedEvent();
        if (change->levels & platform::MS_DSR_ON)
            ++outcome.onEdges;
        else
            ++outcome.offEdges;
        outcome.foundLate += change->foundLate ? 1 : 0;
    };
    port.Open();

    QTimer busy;
    busy.setInterval(100);
    QObject::connect(&busy, &QTimer::timeout, [] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); });
    busy.start();

    std::atomic<bool> driven { false };
    const Clock::time_point start = Clock::now();
    std::thread driver([&] {
        platform::RequestTimingPriority(); // stands in for the barrier's hardware
        std::mt19937 random(7);
        std::uniform_int_distribution<int> gapUs(1000, 3000);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        for (int i = 0; i < kPulses; ++i) {
            setLine(true);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            setLine(false);
            std::this_thread::sleep_for(std::chrono::microseconds(gapUs(random)));
        }
        driven = true;
    });
    while (!driven)
        app.processEvents(QEventLoop::AllEvents, 50);
    driver.join();
    busy.stop();
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 2000 && outcome.offEdges < kPulses)
        app.processEvents(QEventLoop::AllEvents, 20);
    outcome.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    port.Close();
    return outcome;
}

void Print(const char* what, const Outcome& o)
{
    std::printf("  %s: %d pulses in %.1f s: %d on-edges, %d off-edges (%d found late); lost %d\n", what, kPulses,
        o.seconds, o.onEdges, o.offEdges, o.foundLate, kPulses - std::min(o.onEdges, kPulses));
}

bool Met(const Outcome& o)
{
    return o.onEdges == kPulses && o.offEdges == kPulses;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::printf("bench_pulses: %d pulses of 2 ms, 1-3 ms apart, GUI thread busy 20 ms in every 100 ms\n", kPulses);

    Outcome simulated;
    {
        platform::SimSerialLab lab;
        lab.AddPort(1);
        simulated = Run(app, [&](bool on) { lab.SetLine(1, platform::MS_DSR_ON, on); });
    }
    Print("simulated device", simulated);

    Outcome viaLinux;
    {
        platform::ScriptedSerialSystem sys;
        const platform::SerialDeviceFactory previous = platform::CurrentSerialDeviceFactory();
        platform::SetSerialDeviceFactory([&sys] {
            return std::make_unique<platform::LinuxSerialDevice>(
                [&sys](int port) { return port == 1 ? QString::fromLatin1(sys.Path()) : QString(); }, &sys);
        });
        viaLinux = Run(app, [&](bool on) { sys.SetLine(TIOCM_DSR, on); });
        platform::SetSerialDeviceFactory(previous);
    }
    Print("Linux device, scripted system calls", viaLinux);

    std::printf("  target: every pulse arrives as its on-edge and its off-edge (0 lost)\n");
    const bool met = Met(simulated) && Met(viaLinux);
    std::printf("%s\n", met ? "targets met" : "TARGETS MISSED");
    return Verdict(met);
}
