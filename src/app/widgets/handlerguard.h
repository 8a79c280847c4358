#pragma once

#include "model/inkwerkerror.h"

#include <functional>
#include <optional>
#include <utility>

// Keeps errors of the window's handlers from travelling through Qt's signal dispatch.
//
// A handler runs either because the user acted (Qt emits from its event code) or because
// the program itself changed a control (setChecked, setEditText, ...) inside one of its
// operations. Every slot that Qt calls runs through slot(): an error is caught there. When
// the program's own change emitted the signal, the error is kept and thrown again by
// emitting() once the setter has returned, so the operation that made the change stops at
// that step, exactly as if the handler had been called directly. Otherwise the error is
// shown at once, from inside the slot, without leaving it.
class HandlerGuard
{
public:
    explicit HandlerGuard(std::function<void(const QString &)> show) : m_show(std::move(show)) {}

    template <typename Fn> void slot(Fn &&fn)
    {
        try {
            fn();
        } catch (const InkwerkError &e) {
            keepOrShow(e);
        } catch (const std::exception &e) {
            keepOrShow(InkwerkError(QString::fromLocal8Bit(e.what())));
        }
    }

    // Runs a programmatic change whose signals may run handlers; throws the first error
    // those handlers raised after the change has returned.
    template <typename Fn> void emitting(Fn &&fn)
    {
        std::optional<InkwerkError> outer = std::exchange(m_pending, std::nullopt);
        ++m_depth;
        try {
            fn();
        } catch (...) {
            --m_depth;
            m_pending = std::move(outer);
            throw;
        }
        --m_depth;
        std::optional<InkwerkError> raised = std::exchange(m_pending, std::move(outer));
        if (raised)
            throw *raised;
    }

    // True while the program itself is changing controls.
    bool isEmitting() const { return m_depth > 0; }

private:
    void keepOrShow(const InkwerkError &e)
    {
        if (m_depth == 0)
            m_show(e.message());
        else if (!m_pending)
            m_pending = e;
    }

    std::function<void(const QString &)> m_show;
    int m_depth = 0;
    std::optional<InkwerkError> m_pending;
};
