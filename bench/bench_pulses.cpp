// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Short barrier pulses: 10,000 pulses of 2 ms width on DSR, 1 to 3 ms apart,
// while the GUI thread is busy for 20 ms every 100 ms, so many pulses are over
// before the GUI thread gets to them. Every pulse must arrive as its on-edge
// and its off-edge, none lost, none merged, none added. Once with the
// simulated device, then through the Linux device's own code on scripted
// system calls, each driver as the kernel's behaves:
// - an 8250-like UART: the line wait, interrupt counters, the guard of the
//   wait's window;
// - an FTDI-like adapter whose level query tells the lines at once while its
//   counters move only when a status packet arrives (every millisecond, as
//   with the latency timer at 1 ms): an event beyond a pulse's two is a
//   phantom;
// - a pl2303-like adapter (ch341 behaves the same): the line wait, but
//   TIOCGICOUNT gives EINVAL, so the guard compares levels;
// - a cp210x-like adapter: TIOCMIWAIT gives ENOTTY, the counters stay at zero,
//   the levels are read every millisecond.
// The last two can lose a pulse whose two edges both pass while the watcher
// is held up (no counter tells it afterwards), which is why the adapter line
// shows them in red; their losses are reported, their phantoms judged.
//
// Then the wait's window: the watcher is held up 3 ms before each wait, with
// an edge arriving as the hold-up begins; the time from the edge until the
// wait has returned with it (the guard's wake-up must reach the wait, not be
// spent before it), with counters and without them (pl2303-like).
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
const int kWindowEdges = Scaled(200, 50);

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

int Phantoms(const Outcome& o)
{
    return std::max(0, o.onEdges - kPulses) + std::max(0, o.offEdges - kPulses);
}

int LostEdges(const Outcome& o)
{
    return std::max(0, kPulses - o.onEdges) + std::max(0, kPulses - o.offEdges);
}

void Print(const char* what, const Outcome& o)
{
    std::printf("  %s: %d pulses in %.1f s: %d on-edges, %d off-edges (%d found late); lost edges %d, phantom "
                "events %d\n",
        what, kPulses, o.seconds, o.onEdges, o.offEdges, o.foundLate, LostEdges(o), Phantoms(o));
}

bool Met(const Outcome& o)
{
    return o.onEdges == kPulses && o.offEdges == kPulses;
}

platform::SerialDeviceFactory ScriptedFactory(platform::ScriptedSerialSystem& sys)
{
    return [&sys] {
        return std::make_unique<platform::LinuxSerialDevice>(
            [&sys](int port) { return port == 1 ? QString::fromLatin1(sys.Path()) : QString(); }, &sys);
    };
}

// Microseconds until the wait has returned with an edge in its window: from
// the edge when it arrives just before the wait's snapshot, at the end of a
// 3 ms hold-up; from the moment the wait begins when the edge arrived as the
// hold-up began (the guard's first wake-up is then spent before the wait).
std::vector<double> GuardWindowDelaysUs(int edges, bool edgeFirst, platform::ScriptedSerialSystem::Driver driver)
{
    platform::ScriptedSerialSystem sys;
    sys.ActAs(driver);
    platform::LinuxSerialDevice device([&sys](int) { return QString::fromLatin1(sys.Path()); }, &sys);
    std::vector<double> delays;
    if (device.Open(1) != 0 || device.SetEventMask(platform::EV_CTS | platform::EV_DSR) != 0)
        return delays;
    std::vector<platform::LineEvent> events;
    for (int i = 0; i < edges; ++i) {
        Clock::time_point from;
        sys.BeforeNextSnapshot([&] {
            if (edgeFirst)
                sys.SetLine(TIOCM_DSR, i % 2 == 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(3)); // goes on after a signal
            from = Clock::now();
            if (!edgeFirst)
                sys.SetLine(TIOCM_DSR, i % 2 == 0);
        });
        events.clear();
        int error = 0;
        platform::SerialWaitResult result = platform::SerialWaitResult::Dropped;
        while (result == platform::SerialWaitResult::Dropped)
            result = device.WaitEvents(events, error);
        if (result != platform::SerialWaitResult::Event)
            break;
        delays.push_back(std::chrono::duration<double, std::micro>(Clock::now() - from).count());
    }
    return delays;
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

    const platform::SerialDeviceFactory previous = platform::CurrentSerialDeviceFactory();
    Outcome viaLinux;
    {
        platform::ScriptedSerialSystem sys;
        platform::SetSerialDeviceFactory(ScriptedFactory(sys));
        viaLinux = Run(app, [&](bool on) { sys.SetLine(TIOCM_DSR, on); });
        platform::SetSerialDeviceFactory(previous);
    }
    Print("8250-like UART (line wait, counters), scripted system calls", viaLinux);

    Outcome ftdiLike;
    {
        platform::ScriptedSerialSystem sys;
        sys.SetDeliverStatusLate(true);
        std::atomic<bool> done { false };
        std::thread status([&] {
            platform::RequestTimingPriority(); // the adapter's own clock
            while (!done) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                sys.DeliverStatus();
            }
        });
        platform::SetSerialDeviceFactory(ScriptedFactory(sys));
        ftdiLike = Run(app, [&](bool on) { sys.SetLine(TIOCM_DSR, on); });
        platform::SetSerialDeviceFactory(previous);
        done = true;
        status.join();
    }
    Print("FTDI-like adapter, levels ahead of the counters", ftdiLike);

    using Driver = platform::ScriptedSerialSystem::Driver;
    auto scripted = [&](Driver driver) {
        platform::ScriptedSerialSystem sys;
        sys.ActAs(driver);
        platform::SetSerialDeviceFactory(ScriptedFactory(sys));
        const Outcome outcome = Run(app, [&](bool on) { sys.SetLine(TIOCM_DSR, on); });
        platform::SetSerialDeviceFactory(previous);
        return outcome;
    };
    const Outcome pl2303Like = scripted(Driver::WithoutCounters);
    Print("pl2303-like adapter (and ch341), no counters", pl2303Like);
    const Outcome cp210xLike = scripted(Driver::Cp210x);
    Print("cp210x-like adapter, no line wait, counters at zero, polled", cp210xLike);

    platform::RequestTimingPriority(); // this thread is the watcher here
    const LatencySummary lastMoment = Summarize(GuardWindowDelaysUs(kWindowEdges, false, Driver::Counting));
    PrintSummary("edge just before the wait's snapshot, watcher held up 3 ms: edge to report", lastMoment);
    const LatencySummary spent = Summarize(GuardWindowDelaysUs(kWindowEdges, true, Driver::Counting));
    PrintSummary("edge as the 3 ms hold-up began (first wake-up spent): wait begun to report", spent);
    const LatencySummary levelsLast = Summarize(GuardWindowDelaysUs(kWindowEdges, false, Driver::WithoutCounters));
    PrintSummary("pl2303-like, edge just before the wait's snapshot: edge to report", levelsLast);
    const LatencySummary levelsSpent = Summarize(GuardWindowDelaysUs(kWindowEdges, true, Driver::WithoutCounters));
    PrintSummary("pl2303-like, edge as the hold-up began: wait begun to report", levelsSpent);
    std::printf("  edges in the wait's window: %d driven each; reported %zu, %zu (counters), %zu, %zu (pl2303-like)\n",
        kWindowEdges, lastMoment.count, spent.count, levelsLast.count, levelsSpent.count);

    std::printf("  targets: every pulse arrives as its on-edge and its off-edge (0 lost, 0 phantom events) where the "
                "driver counts; no phantom event without counters or polled (losses reported); every edge in the "
                "wait's window reported, p99 <= 2000 us\n");
    const auto windowMet
        = [](const LatencySummary& s) { return s.count == static_cast<size_t>(kWindowEdges) && s.p99 <= 2000; };
    const bool met = Met(simulated) && Met(viaLinux) && Met(ftdiLike) && Phantoms(pl2303Like) == 0
        && Phantoms(cp210xLike) == 0 && windowMet(lastMoment) && windowMet(spent) && windowMet(levelsLast)
        && windowMet(levelsSpent);
    std::printf("%s\n", met ? "targets met" : "TARGETS MISSED");
    return Verdict(met);
}
