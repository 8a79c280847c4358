#pragma once

#include <QSpinBox>

#include <optional>

// A spin box whose value is the integer typed into it, also beyond its range, or its
// minimum while the text is no integer (emptied, or a lone minus sign). A typed value
// outside the range is replaced by the nearer bound when the box loses the focus or
// Return is pressed. typedValueChanged reports every change of that value, typed or set.
class ClampingSpinBox : public QSpinBox
{
    Q_OBJECT
public:
    explicit ClampingSpinBox(QWidget *parent = nullptr);

    int typedValue() const { return m_typedValue; }
    // Takes the value from the text now. The spin box changes its text silently when it
    // is set to the value it already had; after such a call this reports the change.
    void syncTypedValue();

signals:
    void typedValueChanged(int value);

protected:
    QValidator::State validate(QString &input, int &pos) const override;
    void fixup(QString &input) const override;

private:
    // The text without prefix, suffix and blanks around it.
    QStringView bareText(const QString &text) const;
    // The integer in the text without prefix and suffix; nothing when it holds none.
    std::optional<int> integerIn(const QString &text) const;

    int m_typedValue = 0;
};
