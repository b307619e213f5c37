#include "batch/BatchOptions.h"

#include <optional>

namespace ostrovel {
namespace {

enum class Opt { Size, Background, Jobs, FilesFrom, Null, SkipExisting, AllFormats, Verbose, Help, Version };

struct OptionSpec {
    Opt id;
    char16_t shortName; // 0: none
    const char* longName;
    bool takesValue;
};

const OptionSpec kOptions[] = {
    {Opt::Size, u's', "size", true},           {Opt::Background, u'b', "background", true},
    {Opt::Jobs, u'j', "jobs", true},           {Opt::FilesFrom, 0, "files-from", true},
    {Opt::Null, u'0', "null", false},          {Opt::SkipExisting, 0, "skip-existing", false},
    {Opt::Verbose, u'v', "verbose", false},    {Opt::Help, u'h', "help", false},
    {Opt::Version, u'V', "version", false},    {Opt::AllFormats, 0, "all-formats", false},
};

QString quoted(const QString& text)
{
    return u'"' + text + u'"';
}

// Digits only, no sign or blank; nothing when outside min..max.
std::optional<int> wholeNumber(const QString& text, int min, int max)
{
    if (text.isEmpty())
        return std::nullopt;
    for (QChar c : text)
        if (c < u'0' || c > u'9')
            return std::nullopt;
    QString digits = text;
    while (digits.size() > 1 && digits.startsWith(u'0'))
        digits.remove(0, 1);
    const int value = digits.size() > 9 ? max + 1 : digits.toInt();
    if (value < min || value > max)
        return std::nullopt;
    return value;
}

QString takeSize(const QString& value, ThumbnailSettings& settings)
{
    const QStringList sides = value.split(u'x');
    if (sides.size() != 2)
        return quoted(value) + QStringLiteral(": must be WIDTHxHEIGHT");
    const auto width = wholeNumber(sides[0], 1, kMaxSide), height = wholeNumber(sides[1], 1, kMaxSide);
    if (!width || !height)
        return quoted(value) + QStringLiteral(": each side must be 1 to %1 pixels").arg(kMaxSide);
    // The texts the window would hold, so the files are the window's.
    settings.width = QString::number(*width);
    settings.height = QString::number(*height);
    return {};
}

// Two hex digits, nothing else: QString::toInt would take blanks and signs.
std::optional<int> hexByte(const QString& text)
{
    if (text.size() != 2)
        return std::nullopt;
    int value = 0;
    for (QChar c : text) {
        const int digit = c.isDigit() && c.unicode() < 128 ? c.unicode() - '0'
                          : c.toLower() >= u'a' && c.toLower() <= u'f' ? c.toLower().unicode() - 'a' + 10
                                                                       : -1;
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + digit;
    }
    return value;
}

QString takeColour(const QString& value, ThumbnailSettings& settings)
{
    int parts[3] = {};
    if (value.startsWith(u'#')) {
        for (int i = 0; i < 3; ++i) {
            const auto part = value.size() == 7 ? hexByte(value.mid(1 + 2 * i, 2)) : std::nullopt;
            if (!part)
                return quoted(value) + QStringLiteral(": must be R,G,B or #RRGGBB");
            parts[i] = *part;
        }
    } else {
        const QStringList texts = value.split(u',');
        if (texts.size() != 3)
            return quoted(value) + QStringLiteral(": must be R,G,B or #RRGGBB");
        for (int i = 0; i < 3; ++i) {
            const auto part = wholeNumber(texts[i], 0, 255);
            if (!part)
                return quoted(value) + QStringLiteral(": each part must be a whole number 0 to 255");
            parts[i] = *part;
        }
    }
    settings.colour = QStringLiteral("%1,%2,%3").arg(parts[0]).arg(parts[1]).arg(parts[2]);
    return {};
}

// Takes one option's value (or its presence); the fault's words, or nothing.
QString apply(Opt id, const QString& value, ParsedArguments& r)
{
    BatchOptions& o = r.options;
    switch (id) {
    case Opt::Size: return takeSize(value, o.settings);
    case Opt::Background: return takeColour(value, o.settings);
    case Opt::Jobs: {
        const auto jobs = wholeNumber(value, 1, kMaxJobs);
        if (!jobs)
            return quoted(value) + QStringLiteral(": must be a whole number 1 to %1").arg(kMaxJobs);
        o.jobs = *jobs;
        return {};
    }
    case Opt::FilesFrom: o.filesFrom << value; return {};
    case Opt::Null: o.nullSeparated = true; return {};
    case Opt::SkipExisting: o.skipExisting = true; return {};
    case Opt::AllFormats: o.allFormats = true; return {};
    case Opt::Verbose: o.verbose = true; return {};
    case Opt::Help: r.action = ParsedArguments::Help; return {};
    case Opt::Version: r.action = ParsedArguments::Version; return {};
    }
    return {};
}

// The option a long name stands for: itself, or the one option it begins (as getopt_long).
const OptionSpec* findLong(const QString& name, bool& ambiguous)
{
    const OptionSpec* found = nullptr;
    int matches = 0;
    for (const OptionSpec& option : kOptions) {
        const QString full = QLatin1String(option.longName);
        if (full == name)
            return &option;
        if (!name.isEmpty() && full.startsWith(name))
            found = &option, ++matches;
    }
    ambiguous = matches > 1;
    return matches == 1 ? found : nullptr;
}

QString prefixed(const QString& name, const QString& fault)
{
    return fault.isEmpty() ? fault : name + QStringLiteral(": ") + fault;
}

// "--name", "--name=value" or "--name value"; the fault, with the option as typed.
QString longOption(const QStringList& args, int& i, ParsedArguments& r)
{
    const QString arg = args[i];
    const qsizetype equals = arg.indexOf(u'=');
    const QString typed = equals < 0 ? arg : arg.left(equals);
    bool ambiguous = false;
    const OptionSpec* option = findLong(typed.mid(2), ambiguous);
    if (!option)
        return (ambiguous ? QStringLiteral("ambiguous option ") : QStringLiteral("unknown option ")) + quoted(typed);
    const QString name = QStringLiteral("--") + QLatin1String(option->longName);
    if (!option->takesValue)
        return equals < 0 ? apply(option->id, {}, r) : name + QStringLiteral(": takes no value");
    if (equals >= 0)
        return prefixed(name, apply(option->id, arg.mid(equals + 1), r));
    if (i + 1 >= args.size())
        return name + QStringLiteral(": missing value");
    return prefixed(name, apply(option->id, args[++i], r));
}

// "-v0", "-j4", "-j 4", "-vs100x100": grouped flags, the last may take a value.
QString shortOptions(const QStringList& args, int& i, ParsedArguments& r)
{
    const QString arg = args[i];
    for (int k = 1; k < arg.size(); ++k) {
        const OptionSpec* option = nullptr;
        for (const OptionSpec& candidate : kOptions)
            if (candidate.shortName != 0 && arg[k] == QChar(candidate.shortName))
                option = &candidate;
        const QString typed = QStringLiteral("-") + arg[k];
        if (!option)
            return QStringLiteral("unknown option ") + quoted(typed);
        if (!option->takesValue) {
            apply(option->id, {}, r);
            if (r.action != ParsedArguments::Run)
                return {};
            continue;
        }
        if (k + 1 < arg.size())
            return prefixed(typed, apply(option->id, arg.mid(k + 1), r));
        if (i + 1 >= args.size())
            return typed + QStringLiteral(": missing value");
        return prefixed(typed, apply(option->id, args[++i], r));
    }
    return {};
}

ParsedArguments usage(const QString& error)
{
    ParsedArguments r;
    r.action = ParsedArguments::Usage;
    r.error = error;
    return r;
}

} // namespace

ParsedArguments ParseBatchArguments(const QStringList& arguments)
{
    ParsedArguments r;
    QStringList names;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        QString fault;
        if (arg == QLatin1String("--")) {
            names += arguments.mid(i + 1);
            break;
        }
        if (arg.startsWith(QLatin1String("--")))
            fault = longOption(arguments, i, r);
        else if (arg.startsWith(u'-') && arg.size() > 1)
            fault = shortOptions(arguments, i, r);
        else
            names << arg;
        if (!fault.isEmpty())
            return usage(fault);
        if (r.action != ParsedArguments::Run)
            return r; // --help and --version act at once, as in GNU tools
    }
    if (names.isEmpty())
        return usage(QStringLiteral("no TARGET_FOLDER given (see ostrovel-batch --help)"));
    r.options.target = names.takeFirst();
    r.options.sources = names;
    if (r.options.target.isEmpty())
        return usage(QStringLiteral("TARGET_FOLDER is an empty name"));
    if (names.contains(QString()))
        return usage(QStringLiteral("a SOURCE is an empty name"));
    if (names.isEmpty() && r.options.filesFrom.isEmpty())
        return usage(QStringLiteral("no SOURCE given (see ostrovel-batch --help)"));
    return r;
}

} // namespace ostrovel
