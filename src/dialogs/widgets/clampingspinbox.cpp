#include "dialogs/widgets/clampingspinbox.h"

#include <QLineEdit>

ClampingSpinBox::ClampingSpinBox(QWidget *parent)
    : QSpinBox(parent)
    , m_typedValue(value())
{
    // Out-of-range text is kept while typing; leaving the box brings it to the nearer bound.
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    // Typing changes the text with signals; setting a value, or bringing a typed one into
    // the range, changes it silently and then reports the value or the end of editing.
    connect(lineEdit(), &QLineEdit::textChanged, this, &ClampingSpinBox::syncTypedValue);
    connect(this, &QSpinBox::valueChanged, this, &ClampingSpinBox::syncTypedValue);
    connect(this, &QAbstractSpinBox::editingFinished, this, &ClampingSpinBox::syncTypedValue);
}

QStringView ClampingSpinBox::bareText(const QString &text) const
{
    QStringView t(text);
    if (t.startsWith(prefix()))
        t = t.mid(prefix().size());
    if (t.endsWith(suffix()))
        t.chop(suffix().size());
    return t.trimmed();
}

std::optional<int> ClampingSpinBox::integerIn(const QString &text) const
{
    bool ok = false;
    const int v = bareText(text).toInt(&ok);
    return ok ? std::optional<int>(v) : std::nullopt;
}

QValidator::State ClampingSpinBox::validate(QString &input, int &pos) const
{
    Q_UNUSED(pos);
    const QStringView t = bareText(input);
    if (t.isEmpty() || t == QLatin1String("-") || t == QLatin1String("+"))
        return QValidator::Intermediate;
    // Digits only, and few enough to stay an int: the value is what was typed.
    const std::optional<int> v = integerIn(input);
    if (!v)
        return QValidator::Invalid;
    return *v >= minimum() && *v <= maximum() ? QValidator::Acceptable : QValidator::Intermediate;
}

void ClampingSpinBox::fixup(QString &input) const
{
    const int v = qBound(minimum(), integerIn(input).value_or(minimum()), maximum());
    input = prefix() + QString::number(v) + suffix();
}

void ClampingSpinBox::syncTypedValue()
{
    const int v = integerIn(lineEdit()->displayText()).value_or(minimum());
    if (v == m_typedValue)
        return;
    m_typedValue = v;
    emit typedValueChanged(v);
}
