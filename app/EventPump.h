#pragma once
// Installs the window's event pump: long protocol waits run the Qt event loop, so the
// window repaints and its handlers run while an update waits on the instrument.
void InstallQtEventPump();
