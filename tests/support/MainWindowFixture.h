// The real main window on loopback: a free port, 127.0.0.1 as the host's address (so every
// send goes to 127.0.0.255), an observer that receives those sends, and a peer that sends
// datagrams to the window.
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
#include "net/HostAddress.h"
#include "res/ResourceIds.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/PeerSocket.h"

namespace testing_support {

class MainWindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        framework::ResetQuitRequest();
        port = FreeUdpPort();
        observer = std::make_unique<PeerSocket>("127.0.0.255", port, true);
        peer = std::make_unique<PeerSocket>("127.0.0.1", 0);
    }
    void TearDown() override {
        window.reset();
        framework::ResetQuitRequest();
    }

    net::NodeSocketEnvironment Environment() {
        net::NodeSocketEnvironment environment = DefaultSocketEnvironment();
        environment.port = port;
        environment.lookupHostAddress = [] { return net::ParseAddress("127.0.0.1"); };
        return environment;
    }

    // Creates and initialises the window without showing it.
    CNodeTestDlg& Open() {
        window = std::make_unique<CNodeTestDlg>(Environment());
        window->Create();
        return *window;
    }
    CNodeTestDlg& OpenShown() {
        Open();
        window->show();
        QApplication::setActiveWindow(window.get());
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        return *window;
    }

    std::vector<std::vector<std::uint8_t>> Sent(
        std::chrono::milliseconds window = std::chrono::milliseconds(50)) {
        std::vector<std::vector<std::uint8_t>> sent;
        for (Datagram& datagram : observer->Drain(window))
            sent.push_back(std::move(datagram.bytes));
        return sent;
    }
    void SendToWindow(const std::vector<std::uint8_t>& bytes) {
        ASSERT_TRUE(peer->SendTo("127.0.0.1", port, bytes));
    }
    void Tick() {
        framework::Event tick{framework::EventKind::Timer};
        tick.controlId = kReceiveTimerId;
        window->SendEvent(tick);
    }
    QLineEdit* Field(int id) const { return qobject_cast<QLineEdit*>(window->Item(id)); }
    QWidget* Item(int id) const { return window->Item(id); }

    std::uint16_t port = 0;
    std::unique_ptr<PeerSocket> observer;
    std::unique_ptr<PeerSocket> peer;
    MessageRecorder messages;
    std::unique_ptr<CNodeTestDlg> window;
};

}  // namespace testing_support
