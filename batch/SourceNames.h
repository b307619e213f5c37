#pragma once
// The names of the sources, one at a time: those on the command line, then
// those of each --files-from list, read as they are needed, so a list of
// millions of names never sits in memory whole.

#include <QString>
#include <QStringList>

#include <cstdio>
#include <optional>

namespace ostrovel {

class SourceNames {
public:
    /// `lists` are file names ("-": standard input) whose names end with NUL
    /// when `nullSeparated`, else with a newline. Empty names are passed over.
    SourceNames(QStringList given, QStringList lists, bool nullSeparated);
    ~SourceNames();
    SourceNames(const SourceNames&) = delete;
    SourceNames& operator=(const SourceNames&) = delete;

    /// Opens every list; false with error() set when one cannot be opened
    /// or is a folder.
    bool open();
    /// The next name as given, or nothing at the end (or at an error, then
    /// error() tells which list and why: a read error, a name of PATH_MAX
    /// bytes or more, or no memory left). A list's name is handed on as soon
    /// as its delimiter is read; memory does not grow with the list.
    std::optional<QString> next();
    /// One line naming the list and the system's reason; empty when none.
    QString error() const { return m_error; }

private:
    void closeLists();
    bool readName(std::FILE* file, QByteArray& name);

    QStringList m_given;
    QStringList m_lists;
    QList<std::FILE*> m_files;
    qsizetype m_nextGiven = 0;
    qsizetype m_list = 0;
    int m_delimiter;
    QString m_error;
};

/// `name` made absolute against the current folder `cwd` (itself absolute),
/// without any other change: "t" -> "/cwd/t", "../x/" -> "/cwd/../x/".
QString AbsoluteName(const QString& name, const QString& cwd);

/// The current folder as the system names it (bytes kept, see DecodeFileName);
/// empty when it cannot be found.
QString CurrentFolder();

} // namespace ostrovel
