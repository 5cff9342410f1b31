#include "framework/StaticText.h"

#include <QPainter>

namespace framework {

StaticText::StaticText(const QString& text, Qt::Alignment alignment, QWidget* parent)
    : QWidget(parent), m_text(text), m_alignment(alignment) {}

void StaticText::setText(const QString& text) {
    if (text == m_text) return;
    m_text = text;
    update();
}

void StaticText::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(rect(), static_cast<int>(m_alignment) | Qt::TextExpandTabs, m_text);
}

}  // namespace framework
