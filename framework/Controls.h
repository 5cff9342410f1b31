// Thin handles on a dialog's controls, attached by the field binding. Until attached they
// point nowhere and IsAttached() is false.
#pragma once

#include <QPointer>
#include <QSlider>
#include <QTreeWidget>
#include <string>

#include "framework/SpinButton.h"

namespace framework {

class TreeCtrl {
public:
    // Opaque item handle; null means none.
    using Item = QTreeWidgetItem*;

    void Attach(QTreeWidget* tree) { m_tree = tree; }
    bool IsAttached() const { return !m_tree.isNull(); }
    QTreeWidget* Widget() const { return m_tree; }

    Item GetRootItem() const;
    Item GetNextSiblingItem(Item item) const;
    Item GetChildItem(Item item) const;
    // Item texts are single-byte: each byte is one Latin-1 character on screen.
    std::string GetItemText(Item item) const;
    // Appends after the last item under parent; a null parent means the top level.
    Item InsertItem(const std::string& text, Item parent = nullptr);
    void SetItemText(Item item, const std::string& text);
    void Expand(Item item);

private:
    QPointer<QTreeWidget> m_tree;
};

class SliderCtrl {
public:
    void Attach(QSlider* slider) { m_slider = slider; }
    bool IsAttached() const { return !m_slider.isNull(); }
    QSlider* Widget() const { return m_slider; }

    void SetRange(int minimum, int maximum, bool redraw);
    void SetLineSize(int size);
    void SetPageSize(int size);
    void SetTicFreq(int frequency);
    // Moves the thumb without raising a scroll notification.
    void SetPos(int position);
    int GetPos() const;

private:
    QPointer<QSlider> m_slider;
};

class SpinButtonCtrl {
public:
    void Attach(SpinButton* spin) { m_spin = spin; }
    bool IsAttached() const { return !m_spin.isNull(); }
    SpinButton* Widget() const { return m_spin; }

    void SetRange(int lower, int upper);
    // Writes the position into the buddy field, which raises its change notification.
    void SetPos(int position);
    int GetPos() const;

private:
    QPointer<SpinButton> m_spin;
};

}  // namespace framework
