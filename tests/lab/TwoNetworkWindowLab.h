// The real main window on the lab's two-network host: eth0 on 10.1.2.0/24 with the node
// "First", eth1 on 10.7.0.0/24 with the node "Second". Its boxes are recorded, not shown.
#pragma once

#include <gtest/gtest.h>

#include <QSlider>
#include <QTreeWidget>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "app/NodeTestDlg.h"
#include "framework/ModalLoop.h"
#include "res/ResourceIds.h"
#include "testing/LabNode.h"
#include "testing/MainWindow.h"
#include "testing/MessageRecorder.h"
#include "tests/lab/RequireLab.h"

class TwoNetworkWindowLab : public testing::Test {
protected:
    using Lines = std::vector<std::string>;

    static constexpr char kSecondDmxAtFullLevel[] =
        "dmx from=10.7.0.3:3333 universe=1 universe-byte=0 start-code=0 type=1 channels=512 "
        "levels=255-255";

    void SetUp() override {
        framework::ResetQuitRequest();
        REQUIRE_LAB();
        m_lab = std::make_unique<lab::TwoNetworkLab>(PRAVELTEST_NODE_BINARY,
                                                     std::vector<std::string>{"--name", "First"},
                                                     std::vector<std::string>{"--name", "Second"});
    }
    void TearDown() override {
        m_window.reset();
        framework::ResetQuitRequest();
    }

    QTreeWidget* Tree() const { return qobject_cast<QTreeWidget*>(m_window->Item(res::kIdTree)); }
    QSlider* Slider() const { return qobject_cast<QSlider*>(m_window->Item(res::kIdSlider)); }
    Lines Names() const {
        Lines names;
        for (int i = 0; i < Tree()->topLevelItemCount(); ++i) {
            names.push_back(Tree()->topLevelItem(i)->text(0).toStdString());
        }
        return names;
    }
    // Once the receive tick has listed someone, or after the limit.
    Lines NamesOnceListed() {
        testing_support::RunEventsUntil(
            std::chrono::seconds(5), [&] { return Tree()->topLevelItemCount() > 0; }, 20);
        return Names();
    }
    // What each network's node heard before a marker sent from the tool host after everything
    // the window sent.
    Lines FirstHeard() { return m_lab->HeardBeforeMarker(m_lab->First(), "10.1.2.21"); }
    Lines SecondHeard() { return m_lab->HeardBeforeMarker(m_lab->Second(), "10.7.0.21"); }

    std::unique_ptr<lab::TwoNetworkLab> m_lab;
    testing_support::MessageRecorder m_messages;
    std::unique_ptr<CNodeTestDlg> m_window;
};
