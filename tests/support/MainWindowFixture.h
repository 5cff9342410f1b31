// The real main window and the peers it talks to, on one of two networks:
// - loopback: a free port, 127.0.0.1 as the host's address (so every send goes to
//   127.0.0.255), an observer bound there;
// - the lab (root, Linux only): the window's socket in the tool's namespace at 10.1.2.3 on port
// 3333,
//   and the observer and the peer on a node host at 10.1.2.20, across a real bridge.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <chrono>
#include <memory>
#include <optional>

#include "app/NodeTestDlg.h"
#include "framework/ModalLoop.h"
#include "res/ResourceIds.h"
#include "testing/MainWindow.h"
#include "testing/MessageRecorder.h"
#include "testing/PeerSocket.h"
#include "testing/Wait.h"
#ifndef _WIN32
#include "tests/lab/RequireLab.h"
#endif

namespace testing_support {

enum class Network { Loopback, Lab };

inline std::string NetworkName(const ::testing::TestParamInfo<Network>& info) {
    return info.param == Network::Lab ? "Lab" : "Loopback";
}

class MainWindowFixture : public ::testing::Test {
protected:
    virtual Network NetworkInUse() const { return Network::Loopback; }

    void SetUp() override {
        framework::ResetQuitRequest();
        if (NetworkInUse() == Network::Lab) {
#ifdef _WIN32
            FAIL() << "the lab is built of Linux network namespaces";
#else
            REQUIRE_LAB();
            lab = std::make_unique<lab::Lab>();
            nodeNamespace = lab->AddHost(kNodeAddress);
            toolAddress = lab::kToolAddress;
            port = protocol::kNodePort;
            lab::InNamespace(nodeNamespace, [&] { MakePeers("0.0.0.0"); });
            observerAddress = kNodeAddress;
#endif
        } else {
            toolAddress = "127.0.0.1";
            observerAddress = "127.0.0.255";
            MakePeers(observerAddress);
        }
    }
    void TearDown() override {
        window.reset();
        framework::ResetQuitRequest();
    }

    net::NodeSocketEnvironment Environment() const {
        net::NodeSocketEnvironment environment = WindowEnvironment(port, toolAddress);
        if (receiveQueueBytes) environment.receiveBufferBytes = *receiveQueueBytes;
        return environment;
    }

    // Runs fn where the window's socket belongs.
    template <class F>
    auto OnToolHost(F&& fn) {
#ifndef _WIN32
        if (lab) return lab::InNamespace(lab->ToolNamespace(), std::forward<F>(fn));
#endif
        return fn();
    }

    // Creates and initialises the window without showing it.
    CNodeTestDlg& Open() {
        OnToolHost([&] { window = OpenMainWindow(Environment()); });
        return *window;
    }
    CNodeTestDlg& OpenShown() {
        Open();
        EXPECT_TRUE(ShowActive(*window));
        return *window;
    }

    // The next count datagrams, waited for with a generous bound, then all else sent so far.
    std::vector<std::vector<std::uint8_t>> NextSent(std::size_t count) {
        std::vector<std::vector<std::uint8_t>> sent;
        for (Datagram& datagram : observer->ReceiveFor(std::chrono::seconds(10), count)) {
            sent.push_back(std::move(datagram.bytes));
        }
        for (auto& extra : SentSoFar()) sent.push_back(std::move(extra));
        return sent;
    }
    // Every datagram the window has sent that the observer has not yet taken. The window sends
    // on this thread, so once its handler has returned its sends are done, and a sentinel sent
    // after them from its host comes behind them.
    std::vector<std::vector<std::uint8_t>> SentSoFar() {
        std::vector<std::vector<std::uint8_t>> sent;
#ifdef _WIN32
        // Under Wine a datagram from any other socket to the observer's address may go to the
        // window's socket, which shares the port, so no sentinel can follow the window's sends
        // there. Its sends are done when its handler returns; what is already there is taken.
        for (Datagram& datagram : observer->ReceiveFor(std::chrono::milliseconds(100))) {
            sent.push_back(std::move(datagram.bytes));
        }
        return sent;
#endif
        auto before = observer->ReceiveBeforeSentinel(*SentinelSender(), observerAddress);
        EXPECT_TRUE(before) << "the sentinel never arrived";
        if (before) {
            for (Datagram& datagram : *before) sent.push_back(std::move(datagram.bytes));
        }
        return sent;
    }
    void SendToWindow(const std::vector<std::uint8_t>& bytes) {
        ASSERT_TRUE(peer->SendTo(toolAddress, port, bytes));
    }
    void Tick() {
        framework::Event tick{framework::EventKind::Timer};
        tick.controlId = kReceiveTimerId;
        window->SendEvent(tick);
    }
    // Ticks until done() holds, running the event loop for pauseMilliseconds whenever a
    // datagram is not there yet; false when limit passed first.
    template <class Done>
    bool TickUntil(Done done, std::chrono::milliseconds limit = std::chrono::seconds(10),
                   int pauseMilliseconds = 20) {
        return WaitUntil(limit, done, [&] {
            Tick();
            if (pauseMilliseconds > 0 && !done()) QTest::qWait(pauseMilliseconds);
        });
    }
    QLineEdit* Field(int id) const {
        return qobject_cast<QLineEdit*>(window->Item(id));
    }
    QWidget* Item(int id) const {
        return window->Item(id);
    }

    static constexpr char kNodeAddress[] = "10.1.2.20";

#ifndef _WIN32
    std::unique_ptr<lab::Lab> lab;
#endif
    std::string nodeNamespace;
    std::string toolAddress;
    std::uint16_t port = 0;
    // The window's kernel receive queue, when a test asks for other than the program's own.
    std::optional<int> receiveQueueBytes;
    std::unique_ptr<PeerSocket> reservation;
    std::unique_ptr<PeerSocket> observer;
    std::unique_ptr<PeerSocket> peer;
    // Where the window's host reaches the observer, and what sends it the sentinel from there.
    std::string observerAddress;
    MessageRecorder messages;
    std::unique_ptr<CNodeTestDlg> window;

private:
    // A sentinel comes from the window's host, on a port of its own.
    std::unique_ptr<PeerSocket> SentinelSender() {
        return OnToolHost([&] {
            return std::make_unique<PeerSocket>(
                NetworkInUse() == Network::Lab ? "0.0.0.0" : toolAddress, 0);
        });
    }

    // On loopback the system chooses a port, and the window and the observer share it.
    void MakePeers(const std::string& observerAddress) {
        if (port == 0) {
            // Held on the wildcard, the port cannot be taken on 127.0.0.1 by a socket without
            // address reuse, which would make the window's bind fail. What is sent to the
            // window still reaches the window: of equal matches, the one bound last receives.
            reservation = std::make_unique<PeerSocket>("0.0.0.0", 0, true);
            port = reservation->Port();
        }
        observer = std::make_unique<PeerSocket>(observerAddress, port, true);
        peer =
            std::make_unique<PeerSocket>(observerAddress == "0.0.0.0" ? "0.0.0.0" : "127.0.0.1", 0);
    }
};

}  // namespace testing_support
