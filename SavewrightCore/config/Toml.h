#pragma once
// Reader for the small TOML subset that config.toml is written in: tables,
// arrays of tables, strings, integers, floats, booleans and arrays.

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <stdexcept>
#include <variant>

// A load failure whose printed form is shown to the user as it stands.
class ConfigError : public std::runtime_error {
  public:
    explicit ConfigError(const QString& text);
    virtual QString description() const { return text_; }
    // Further problems found on the way, shown beside this one.
    QStringList alsoFound;

  private:
    QString text_;
};

// A syntax or validation error of config.toml, with its 1-based line (0 for validation).
class TOMLError : public ConfigError {
  public:
    TOMLError(int line, QString message);
    // "config.toml Zeile 3: …": how a mistake on a line of the file is said.
    static QString located(int line, const QString& message);
    int line;
    QString message;
};

class TOMLValue {
  public:
    enum class Kind { String, Int, Double, Bool, Array };
    using Array = QList<TOMLValue>;

    TOMLValue() = default; // an empty string
    TOMLValue(QString s) : v_(std::move(s)) {}
    TOMLValue(qint64 i) : v_(i) {}
    TOMLValue(double d) : v_(d) {}
    TOMLValue(bool b) : v_(b) {}
    TOMLValue(Array a) : v_(std::move(a)) {}

    Kind kind() const { return static_cast<Kind>(v_.index()); }

    std::optional<QString> string() const;
    // A double is truncated toward zero; one that is not finite or lies outside
    // the 64-bit range has no integer value.
    std::optional<qint64> intValue() const;
    std::optional<double> doubleValue() const;
    std::optional<bool> boolValue() const;
    // The string elements of an array; absent for every non-array.
    std::optional<QStringList> stringArray() const;

    friend bool operator==(const TOMLValue& a, const TOMLValue& b) { return a.v_ == b.v_; }

    int line = 0; // where the key stood (1-based); not part of the value

  private:
    std::variant<QString, qint64, double, bool, Array> v_;
};

using TOMLTable = QHash<QString, TOMLValue>;

struct TOMLDocument {
    QHash<QString, TOMLTable> tables;
    QHash<QString, QList<TOMLTable>> arrays;
    // The line of each table's first header, and of each array entry's header.
    QHash<QString, int> tableLines;
    QHash<QString, QList<int>> arrayLines;
    friend bool operator==(const TOMLDocument&, const TOMLDocument&) = default;
};

namespace TOML {
// Throws TOMLError at the first error.
TOMLDocument parse(const QString& text);
} // namespace TOML
