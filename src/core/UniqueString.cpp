#include <tavrel/core/UniqueString.h>

#include <memory>
#include <mutex>
#include <unordered_map>

namespace Tavrel {

namespace {

struct Pool {
    std::mutex mutex;
    // Keys view the owned strings, whose addresses never change.
    std::unordered_map<std::string_view, std::unique_ptr<const std::string>> strings;
};

// Never destroyed, so that interned pointers held by static objects stay valid during shutdown.
Pool& GetPool()
{
    static Pool* const pool = new Pool;
    return *pool;
}

} // namespace

UniqueString::UniqueString() : m_string(Intern({})) {}

UniqueString::UniqueString(std::string_view text) : m_string(Intern(text)) {}

UniqueString::StringPtr UniqueString::Intern(std::string_view text)
{
    Pool& pool = GetPool();
    const std::lock_guard lock(pool.mutex);
    if (const auto found = pool.strings.find(text); found != pool.strings.end())
        return found->second.get();
    auto owned = std::make_unique<const std::string>(text);
    const StringPtr shared = owned.get();
    pool.strings.emplace(std::string_view(*shared), std::move(owned));
    return shared;
}

} // namespace Tavrel
