#include "Platform/Store/Migration.h"

#include "Platform/Store/Connection.h"

namespace store {

void Migration::execute(std::string_view sql)
{
    m_connection.execute(sql);
}

int64_t Migration::queryInteger(std::string_view sql)
{
    return m_connection.queryInteger(sql);
}

} // namespace store
