#include "app/EventPump.h"

#include <QEventLoop>
#include <QTimer>

#include "common/Timing.h"

void InstallQtEventPump() {
    vorn::SetEventPump([](uint32_t maxMs) {
        QEventLoop loop;
        QTimer::singleShot(static_cast<int>(maxMs), &loop, &QEventLoop::quit);
        loop.exec();
    });
}
