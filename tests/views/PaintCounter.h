// Counts the paintings of the widgets it watches, and waits for Qt's next painting pass of
// their window: a probe widget asked to repaint is painted in the same pass as every
// widget of the window that asked before it.
#pragma once

#include <QEvent>
#include <QTest>
#include <QWidget>

#include <map>

namespace orv::test {

class PaintCounter : public QObject {
public:
    // The probe takes the window's bottom-right 4 x 4 pixels, where the watched widgets
    // must not reach.
    explicit PaintCounter(QWidget& window) : m_probe(new QWidget(&window)) {
        m_probe->setGeometry(window.width() - 4, window.height() - 4, 4, 4);
        m_probe->show();
        Watch(*m_probe);
    }
    void Watch(QWidget& widget) { widget.installEventFilter(this); }
    int Paints(QWidget& widget) { return m_paints[&widget]; }
    // False when no pass came within a generous bound.
    bool NextPass() {
        const int before = m_paints[m_probe];
        m_probe->update();
        return QTest::qWaitFor([&] { return m_paints[m_probe] > before; }, 30000);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++m_paints[watched];
        return false;
    }

private:
    QWidget* m_probe;
    std::map<QObject*, int> m_paints;
};

}  // namespace orv::test
