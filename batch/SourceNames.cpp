#include "batch/SourceNames.h"

#include "common/FileNames.h"
#include "common/SystemReason.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace ostrovel {

SourceNames::SourceNames(QStringList given, QStringList lists, bool nullSeparated)
    : m_given(std::move(given)), m_lists(std::move(lists)), m_delimiter(nullSeparated ? '\0' : '\n')
{
}

SourceNames::~SourceNames()
{
    closeLists();
    std::free(m_buffer);
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
        if (!file) {
            m_error = QStringLiteral("cannot read the list %1: %2").arg(list, SystemReason(errno));
            return false;
        }
        m_files << file;
    }
    return true;
}

std::optional<QString> SourceNames::next()
{
    if (m_nextGiven < m_given.size())
        return m_given[m_nextGiven++];
    while (m_list < m_files.size()) {
        std::FILE* file = m_files[m_list];
        errno = 0;
        const ssize_t length = getdelim(&m_buffer, &m_capacity, m_delimiter, file);
        if (length < 0) {
            if (std::ferror(file)) {
                m_error = QStringLiteral("cannot read the list %1: %2").arg(m_lists[m_list], SystemReason(errno));
                return std::nullopt;
            }
            ++m_list;
            continue;
        }
        QByteArray name(m_buffer, length);
        if (name.endsWith(char(m_delimiter)))
            name.chop(1);
        if (!name.isEmpty())
            return DecodeFileName(name);
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
