#include "framework/Controls.h"

#include <QSlider>
#include <QTreeWidget>

#include "framework/SpinButton.h"

namespace framework {

TreeCtrl::Item TreeCtrl::GetRootItem() const {
    return m_tree && m_tree->topLevelItemCount() > 0 ? m_tree->topLevelItem(0) : nullptr;
}

TreeCtrl::Item TreeCtrl::GetNextSiblingItem(Item item) const {
    if (!m_tree || !item) return nullptr;
    if (QTreeWidgetItem* parent = item->parent()) {
        return parent->child(parent->indexOfChild(item) + 1);
    }
    return m_tree->topLevelItem(m_tree->indexOfTopLevelItem(item) + 1);
}

TreeCtrl::Item TreeCtrl::GetChildItem(Item item) const {
    return item && item->childCount() > 0 ? item->child(0) : nullptr;
}

std::string TreeCtrl::GetItemText(Item item) const {
    if (!item) return {};
    return item->text(0).toLatin1().toStdString();
}

TreeCtrl::Item TreeCtrl::InsertItem(const std::string& text, Item parent) {
    if (!m_tree) return nullptr;
    const QStringList columns{QString::fromLatin1(text.data(), static_cast<int>(text.size()))};
    if (parent) return new QTreeWidgetItem(parent, columns);
    auto* item = new QTreeWidgetItem(columns);
    m_tree->addTopLevelItem(item);
    return item;
}

void TreeCtrl::SetItemText(Item item, const std::string& text) {
    if (item) item->setText(0, QString::fromLatin1(text.data(), static_cast<int>(text.size())));
}

void TreeCtrl::Expand(Item item) {
    if (item) item->setExpanded(true);
}

void SliderCtrl::SetRange(int minimum, int maximum, bool redraw) {
    if (!m_slider) return;
    m_slider->setRange(minimum, maximum);
    if (redraw) m_slider->update();
}

void SliderCtrl::SetLineSize(int size) {
    if (m_slider) m_slider->setSingleStep(size);
}

void SliderCtrl::SetPageSize(int size) {
    if (m_slider) m_slider->setPageStep(size);
}

void SliderCtrl::SetTicFreq(int frequency) {
    if (m_slider) m_slider->setTickInterval(frequency);
}

void SliderCtrl::SetPos(int position) {
    if (m_slider) m_slider->setValue(position);
}

int SliderCtrl::GetPos() const {
    // The thumb's position, which is current even while an action is being reported.
    return m_slider ? m_slider->sliderPosition() : 0;
}

void SpinButtonCtrl::SetRange(int lower, int upper) {
    if (m_spin) m_spin->SetRange(lower, upper);
}

void SpinButtonCtrl::SetPos(int position) {
    if (m_spin) m_spin->SetPos(position);
}

int SpinButtonCtrl::GetPos() const {
    return m_spin ? m_spin->Pos() : 0;
}

}  // namespace framework
