#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include <tavrel/foundation/Base.h>
#include <tavrel/document/DataModelLibrary.h>

using namespace Tavrel;

namespace {
class ValidationProbe : public Base {
    TAVREL_DECLARE_CLASS(ValidationProbe, Base)
public:
    static ValidationProbe* Make() { return ClassAccess::New<ValidationProbe>(); }

protected:
    ValidationProbe() = default;
    ValidationProbe(const ValidationProbe&) = default;
};
TAVREL_IMPLEMENT_CLASS(ValidationProbe, ClassKind::Creatable)

// Objects made after validation is switched off still take counter OIDs and are found until they
// are destroyed; switching it on again does nothing.
bool EveryLiveObjectIsFoundWithValidationOff()
{
    AttachDataModelDLL();
    std::unique_ptr<ValidationProbe> before(ValidationProbe::Make());
    Base::EnableOIDValidation(false);
    Base::EnableOIDValidation(true);
    std::unique_ptr<ValidationProbe> after(ValidationProbe::Make());
    std::unique_ptr<Base> copy(after->Copy());
    bool ok = !Base::IsOIDValidationEnabled() && after->GetOID() == before->GetOID() + 1 &&
              copy->GetOID() == after->GetOID() + 1 && Base::GetObjectA(before->GetOID()) == before.get() &&
              Base::GetObjectA(after->GetOID()) == after.get() && Base::GetObjectA(copy->GetOID()) == copy.get() &&
              Base::GetObjectA(Base::GetLastOID() + 1) == nullptr;
    const std::vector<std::uint32_t> oids{before->GetOID(), after->GetOID(), copy->GetOID()};
    before.reset();
    after.reset();
    copy.reset();
    for (const std::uint32_t oid : oids)
        ok = ok && Base::GetObjectA(oid) == nullptr;
    return ok;
}

} // namespace

// Switching validation off is one-way and process-wide, so it runs in a death-test child process.
TEST(OIDValidationDeathTest, OffIsFinalAndEveryLiveObjectIsStillFound)
{
    EXPECT_EXIT(std::exit(EveryLiveObjectIsFoundWithValidationOff() ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

// Pages of the OID table are freed and made again as objects come and go; lookups stay exact across
// page boundaries.
TEST(OIDTable, LookupsStayExactWhileObjectsComeAndGo)
{
    AttachDataModelDLL();
    std::vector<std::unique_ptr<ValidationProbe>> objects;
    for (int i = 0; i < 3000; ++i)
        objects.emplace_back(ValidationProbe::Make());
    std::vector<std::uint32_t> gone;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        if (i % 7 != 0 && i < 2500) {
            gone.push_back(objects[i]->GetOID());
            objects[i].reset();
        }
    }
    for (const auto& object : objects) {
        if (object) {
            EXPECT_EQ(Base::GetObjectA(object->GetOID()), object.get());
        }
    }
    for (const std::uint32_t oid : gone)
        EXPECT_EQ(Base::GetObjectA(oid), nullptr) << oid;
    const std::uint32_t first = objects.front()->GetOID();
    objects.clear();
    std::unique_ptr<ValidationProbe> fresh(ValidationProbe::Make());
    EXPECT_EQ(Base::GetObjectA(fresh->GetOID()), fresh.get());
    for (std::uint32_t oid = first; oid < fresh->GetOID(); ++oid)
        EXPECT_EQ(Base::GetObjectA(oid), nullptr) << oid;
}
