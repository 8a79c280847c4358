#pragma once

#include "model/inkwerkerror.h"

#include <QString>

// The message of the InkwerkError the call raises; empty when it raises none.
template<typename F>
QString errorText(F call)
{
    try {
        call();
    } catch (const InkwerkError &e) {
        return e.message();
    }
    return QString();
}
