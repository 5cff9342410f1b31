// Static text that keeps its exact text, tabs included, and draws tabs as the window
// system's static controls do: expanded to the next tab stop.
#pragma once

#include <QWidget>

namespace framework {

class StaticText : public QWidget {
    Q_OBJECT
public:
    StaticText(const QString& text, Qt::Alignment alignment, QWidget* parent);
    QString text() const { return m_text; }
    void setText(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
    Qt::Alignment m_alignment;
};

}  // namespace framework
