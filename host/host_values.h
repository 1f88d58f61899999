// The host's side of the value model it shares with the driver: a program that drives the loaded
// driver builds its own values (texts, binaries, currency) with the runtime's value classes, so
// those classes must allocate their dynamic strings and binaries through the same host allocator
// and read the same locale as the driver does. The host owns both services; nothing here holds a
// reference or frees them.
#pragma once

class CHostControl;

// Points the program's value classes at the loaded host's allocator and locale service; false
// when the host module gave no control surface.
bool HostBindValues(CHostControl* host);
