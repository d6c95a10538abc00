#pragma once

#include <functional>

// Runs the event loop until done() holds or timeoutMs have passed; returns done(). The loop
// sleeps between events (it does not spin), and objects deleted later are deleted meanwhile.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 3000);
