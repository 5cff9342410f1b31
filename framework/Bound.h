// A window's handle on one of its controls, attached by the field binding. The handle gives
// the real widget; reaching through it before the binding attached one is a programming
// error, and aborts with the widget's type rather than acting on nothing.
#pragma once

#include <QPointer>
#include <cstdio>
#include <cstdlib>

namespace framework {

template <class Widget>
class Bound {
public:
    void Attach(Widget* widget) { m_widget = widget; }
    bool IsAttached() const { return !m_widget.isNull(); }

    Widget& operator*() const { return *Get(); }
    Widget* operator->() const { return Get(); }
    Widget* Get() const {
        if (m_widget.isNull()) Unattached();
        return m_widget.data();
    }

private:
    [[noreturn]] static void Unattached() {
        std::fprintf(stderr, "%s used before the field binding attached it\n",
                     Widget::staticMetaObject.className());
        std::abort();
    }

    QPointer<Widget> m_widget;
};

}  // namespace framework
