#include "app/run_bridge.h"

#include <QMetaObject>

#include "document/run_control.h"

namespace vireon {

template <class Handler>
void RunBridge::Post(Handler handler, bool acknowledge) {
  QMetaObject::invokeMethod(
      this,
      [this, handler, acknowledge] {
        handler();
        if (acknowledge && controller_ != nullptr) controller_->Acknowledge();
      },
      Qt::QueuedConnection);
}

void RunBridge::RunStarting() {
  Post([this] { emit runStarting(); }, true);
}

void RunBridge::RunFinished() {
  Post([this] { emit runFinished(); }, false);
}

void RunBridge::RunStopped() {
  Post([this] { emit runStopped(); }, false);
}

void RunBridge::ScanProgress(int iteration) {
  Post([this, iteration] { emit scanProgress(iteration); }, true);
}

void RunBridge::PointReady() {
  Post([this] { emit pointReady(); }, true);
}

void RunBridge::IntegratorError(IntegratorFault fault, int istate) {
  const int code = static_cast<int>(fault);
  Post([this, code, istate] { emit integratorError(code, istate); }, false);
}

void RunBridge::EventExecuted(int event, double time) {
  Post([this, event, time] { emit eventExecuted(event, time); }, false);
}

void RunBridge::Paused() {
  Post([this] { emit paused(); }, false);
}

void RunBridge::Resumed() {
  Post([this] { emit resumed(); }, false);
}

}  // namespace vireon
