#pragma once
// The program's numbered runtime error: a number and a description.

#include <QString>

#include <stdexcept>

namespace ostrovel {

class RuntimeError : public std::runtime_error {
public:
    RuntimeError(int number, const QString& description)
        : std::runtime_error(description.toStdString()), m_number(number), m_description(description)
    {
    }
    int number() const { return m_number; }
    const QString& description() const { return m_description; }

private:
    int m_number;
    QString m_description;
};

} // namespace ostrovel
