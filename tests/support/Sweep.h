// Sweep: deletes, when it goes, every object made after it was made.
#pragma once

#include <cstdint>

#include <tavrel/foundation/Base.h>

namespace Tavrel::test {

class Sweep {
public:
    Sweep() : m_from(Base::GetLastOID()) {}
    ~Sweep()
    {
        for (std::uint32_t oid = m_from + 1; oid <= Base::GetLastOID(); ++oid)
            delete Base::GetObjectA(oid);
    }
    Sweep(const Sweep&) = delete;
    Sweep& operator=(const Sweep&) = delete;

private:
    std::uint32_t m_from;
};

} // namespace Tavrel::test
