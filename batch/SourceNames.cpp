#include "batch/SourceNames.h"

#include "common/FileNames.h"
#include "common/SystemReason.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrovel {

SourceNames::SourceNames(QStringList given, QStringList lists, bool nullSeparated)
    : m_given(std::move(given)), m_lists(std::move(lists)), m_delimiter(nullSeparated ? '\0' : '\n')
{
}

SourceNames::~SourceNames()
{
    closeLists();
}

void SourceNames::closeLists()
{
    for (std::FILE* file : m_files)
        if (file && file != stdin)
            std::fclose(file);
    m_files.clear();
}

bool SourceNames::open()
{
    for (const QString& list : m_lists) {
        std::FILE* file = list == QLatin1String("-") ? stdin : std::fopen(EncodeFileName(list).constData(), "rb");
        struct stat st {};
        const int error = !file ? errno : ::fstat(fileno(file), &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
        if (error != 0) {
            if (file && file != stdin)
                std::fclose(file);
            m_error = QStringLiteral("cannot read the list %1: %2").arg(list, SystemReason(error));
            return false;
        }
        m_files << file;
    }
    return true;
}

// One name of the current list into `name`, read as its bytes arrive (a slow
// pipe's names are handed on one by one); false at the list's end. A name
// of PATH_MAX bytes or more is no file's name: the list is wrong.
bool SourceNames::readName(std::FILE* file, QByteArray& name)
{
    name.clear();
    int c;
    while ((c = getc_unlocked(file)) != EOF && c != m_delimiter) {
        if (name.size() >= PATH_MAX - 1) {
            m_error = QStringLiteral("cannot read the list %1: a name is longer than %2 bytes")
                          .arg(m_lists[m_list]).arg(PATH_MAX - 1);
            return false;
        }
        name.append(char(c));
    }
    if (c == EOF && std::ferror(file)) {
        m_error = QStringLiteral("cannot read the list %1: %2").arg(m_lists[m_list], SystemReason(errno));
        return false;
    }
    return c != EOF || !name.isEmpty();
}

std::optional<QString> SourceNames::next()
{
    if (m_nextGiven < m_given.size())
        return m_given[m_nextGiven++];
    try {
        QByteArray name;
        while (m_error.isEmpty() && m_list < m_files.size()) {
            errno = 0;
            if (!readName(m_files[m_list], name)) {
                ++m_list;
                continue;
            }
            if (!name.isEmpty())
                return DecodeFileName(name);
        }
    } catch (const std::bad_alloc&) {
        m_error = QStringLiteral("cannot read the list %1: not enough memory").arg(m_lists[m_list]);
    }
    return std::nullopt;
}

QString AbsoluteName(const QString& name, const QString& cwd)
{
    if (name.startsWith(u'/'))
        return name;
    return cwd.endsWith(u'/') ? cwd + name : cwd + u'/' + name;
}

QString CurrentFolder()
{
    char* path = getcwd(nullptr, 0);
    if (!path)
        return {};
    const QString folder = DecodeFileName(QByteArray(path));
    std::free(path);
    return folder;
}

} // namespace ostrovel
