#pragma once

#include <QString>
#include <stdexcept>

// An error whose German text is shown to the user as it stands ("'%s' ist kein gültiger
// Integerwert", "Datei %s kann nicht erstellt werden", ...). Operations raise it and the
// window's handlers catch it and show it in the general error box, ending the operation
// at the point of failure.
class InkwerkError : public std::runtime_error
{
public:
    explicit InkwerkError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString &message() const { return m_message; }

private:
    QString m_message;
};
