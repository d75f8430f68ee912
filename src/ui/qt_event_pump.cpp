#include "ui/qt_event_pump.h"

#include <QCoreApplication>
#include <QTimer>

#include "platform/event_pump.h"

namespace ui {

QtEventPump::QtEventPump(QObject* parent) : QObject(parent), timer_(new QTimer(this)) {
    auto& pump = platform::EventPump::Instance();
    pump.SetUiHook([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 5); });
    connect(timer_, &QTimer::timeout, this, [] { platform::EventPump::Instance().RunOnePass(); });
    timer_->start(kIntervalMs);
}

QtEventPump::~QtEventPump() {
    timer_->stop();
    platform::EventPump::Instance().SetUiHook(nullptr);
}

}  // namespace ui
