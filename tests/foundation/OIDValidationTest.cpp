#include <gtest/gtest.h>

#include <memory>

#include "foundation/Base.h"
#include "document/DataModelLibrary.h"

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
} // namespace

// Switching validation off is one-way and process-wide, so it runs in a death-test child process.
TEST(OIDValidationDeathTest, OffIsFinalAndNeverUsesAddresses)
{
    EXPECT_EXIT(
        {
            AttachDataModelDLL();
            std::unique_ptr<ValidationProbe> before(ValidationProbe::Make());
            Base::EnableOIDValidation(false);
            Base::EnableOIDValidation(true);
            std::unique_ptr<ValidationProbe> after(ValidationProbe::Make());
            const bool ok = !Base::IsOIDValidationEnabled() && after->GetOID() == before->GetOID() + 1 &&
                            Base::GetObjectA(before->GetOID()) == before.get() &&
                            Base::GetObjectA(after->GetOID()) == nullptr;
            const std::uint32_t oid = before->GetOID();
            before.reset();
            std::exit(ok && Base::GetObjectA(oid) == nullptr ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
