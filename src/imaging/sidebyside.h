#pragma once

#include <system_error>
#include <thread>

// Runs `other` on a second thread while `own` runs on the calling thread, and returns
// once both are done (also when `own` throws). When no thread can be started, both run
// on the calling thread, one after the other. `other` must not throw.
template <typename Own, typename Other>
void runSideBySide(Own &&own, Other &&other)
{
    std::jthread helper;
    try {
        helper = std::jthread([&other] { other(); });
    } catch (const std::system_error &) {
    }
    own();
    if (!helper.joinable())
        other();
}
