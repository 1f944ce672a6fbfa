#pragma once

// Fields of untrusted JSON read one by one, for machine.json: each whole number, flag and text
// is checked, and the first problem found is kept, naming its field.

#include "sim/simmachine.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

namespace orvanta::sim {

inline bool given(const QJsonValue &value) {
    return !value.isUndefined() && !value.isNull();
}

// Reads fields of untrusted JSON; the first problem found is kept, naming its field.
class Parser {
public:
    QString problem;

    bool failed() const { return !problem.isEmpty(); }
    void fail(const QString &field, const QString &what) {
        if (problem.isEmpty())
            problem = field + QStringLiteral(": ") + what;
    }

    struct Whole {
        bool negative = false;
        std::uint64_t magnitude = 0;
        QString text() const {
            return (negative ? QStringLiteral("-") : QString()) + QString::number(magnitude);
        }
    };

    // A whole number: a JSON number below 2^53 in size (above that a double is no longer
    // exact, and Qt 5 and 6 would read it differently) or a decimal string of any u64/i64.
    std::optional<Whole> whole(const QJsonValue &value, const QString &field) {
        Whole number;
        if (value.isDouble()) {
            const double d = value.toDouble();
            if (!std::isfinite(d) || std::floor(d) != d) {
                fail(field, QStringLiteral("must be a whole number"));
                return std::nullopt;
            }
            if (std::fabs(d) >= double(MaxExactJsonInteger)) {
                fail(field, QStringLiteral("is too large for a JSON number; write it as a "
                                           "decimal string, such as \"18446744073709551615\""));
                return std::nullopt;
            }
            number.negative = d < 0;
            number.magnitude = static_cast<std::uint64_t>(std::fabs(d));
            return number;
        }
        if (value.isString()) {
            const QString text = value.toString();
            int i = 0;
            if (text.startsWith(QLatin1Char('-'))) {
                number.negative = true;
                i = 1;
            }
            if (i == text.size() || text.size() - i > 20) {
                fail(field, QStringLiteral("must be a whole number"));
                return std::nullopt;
            }
            for (; i < text.size(); ++i) {
                const QChar c = text.at(i);
                if (c < QLatin1Char('0') || c > QLatin1Char('9') ||
                    __builtin_mul_overflow(number.magnitude, 10u, &number.magnitude) ||
                    __builtin_add_overflow(number.magnitude, unsigned(c.unicode() - '0'),
                                           &number.magnitude)) {
                    fail(field, QStringLiteral("must be a whole number of at most 64 bits"));
                    return std::nullopt;
                }
            }
            return number;
        }
        fail(field, QStringLiteral("must be a whole number"));
        return std::nullopt;
    }

    template <typename T>
    bool unsignedField(const QJsonValue &value, const QString &field, T &out,
                       std::uint64_t max = std::numeric_limits<T>::max()) {
        const std::optional<Whole> number = whole(value, field);
        if (!number)
            return false;
        if ((number->negative && number->magnitude != 0) || number->magnitude > max) {
            fail(field, QStringLiteral("%1 is out of range (0 to %2)")
                            .arg(number->text(), QString::number(max)));
            return false;
        }
        out = static_cast<T>(number->magnitude);
        return true;
    }

    template <typename T>
    bool signedField(const QJsonValue &value, const QString &field, T &out,
                     std::int64_t min = std::numeric_limits<T>::min(),
                     std::int64_t max = std::numeric_limits<T>::max()) {
        const std::optional<Whole> number = whole(value, field);
        if (!number)
            return false;
        bool inRange;
        std::int64_t result = 0;
        if (number->negative) {
            inRange =
                number->magnitude <= std::uint64_t(std::numeric_limits<std::int64_t>::max()) + 1;
            if (inRange)
                result = static_cast<std::int64_t>(0 - number->magnitude);
        } else {
            inRange = number->magnitude <= std::uint64_t(std::numeric_limits<std::int64_t>::max());
            if (inRange)
                result = static_cast<std::int64_t>(number->magnitude);
        }
        if (!inRange || result < min || result > max) {
            fail(field, QStringLiteral("%1 is out of range (%2 to %3)")
                            .arg(number->text(), QString::number(min), QString::number(max)));
            return false;
        }
        out = static_cast<T>(result);
        return true;
    }

    // Optional field: absent or null keeps `out` as it is.
    template <typename T>
    void optionalUnsigned(const QJsonObject &object, const char *key, const QString &prefix, T &out,
                          std::uint64_t max = std::numeric_limits<T>::max()) {
        const QJsonValue value = object.value(QLatin1String(key));
        if (given(value))
            unsignedField(value, prefix + QLatin1String(key), out, max);
    }

    bool boolean(const QJsonObject &object, const char *key, const QString &prefix, bool &out) {
        const QJsonValue value = object.value(QLatin1String(key));
        if (!given(value))
            return true;
        if (!value.isBool()) {
            fail(prefix + QLatin1String(key), QStringLiteral("must be true or false"));
            return false;
        }
        out = value.toBool();
        return true;
    }
};

} // namespace orvanta::sim
