#pragma once
// Drives the process-wide event pump from the Qt event loop: while a blocking network call
// waits, each pump pass lets Qt process its events (repaints, timers, the close box); while
// Qt idles, a short timer runs pump passes so socket notifications of idle sessions and the
// pump's own timers still arrive.
#include <QObject>

class QTimer;

namespace ui {

class QtEventPump : public QObject {
    Q_OBJECT
public:
    explicit QtEventPump(QObject* parent = nullptr);
    ~QtEventPump() override;

    static constexpr int kIntervalMs = 10;

private:
    QTimer* timer_ = nullptr;
};

}  // namespace ui
