#include <gtest/gtest.h>

#include <memory>

#include <tavrel/foundation/Base.h>
#include <tavrel/foundation/ClassHierarchy.h>
#include <tavrel/foundation/ClassNameTable.h>
#include <tavrel/foundation/ClassRegistry.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/NamedCollection.h>
#include <tavrel/foundation/RuntimeMap.h>
#include <tavrel/platform/Archive.h>

using namespace Tavrel;

namespace {

class RegistryProbe : public Base {
    TAVREL_DECLARE_CLASS(RegistryProbe, Base)
protected:
    RegistryProbe() = default;
    RegistryProbe(const RegistryProbe&) = default;
};
TAVREL_IMPLEMENT_CLASS(RegistryProbe, ClassKind::Creatable)

class DerivedProbe : public RegistryProbe {
    TAVREL_DECLARE_CLASS(DerivedProbe, RegistryProbe)
protected:
    DerivedProbe()
    {
        static const int once = SetCommonName("Probe Alias");
        static_cast<void>(once);
    }
    DerivedProbe(const DerivedProbe&) = default;

public:
    std::string GetCommonName() const override { return "Probe Alias"; }
};
TAVREL_IMPLEMENT_CLASS(DerivedProbe, ClassKind::Creatable)

class AbstractProbe : public RegistryProbe {
    TAVREL_DECLARE_CLASS(AbstractProbe, RegistryProbe)
protected:
    AbstractProbe() = default;
    AbstractProbe(const AbstractProbe&) = default;
};
TAVREL_IMPLEMENT_CLASS(AbstractProbe, ClassKind::DynamicOnly)

// Never registered: its identifier stays 0.
class UnregisteredProbe : public RegistryProbe {
    TAVREL_DECLARE_CLASS(UnregisteredProbe, RegistryProbe)
protected:
    UnregisteredProbe() = default;
    UnregisteredProbe(const UnregisteredProbe&) = default;
};
TAVREL_IMPLEMENT_CLASS(UnregisteredProbe, ClassKind::Creatable)

class RegistryTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        AttachDataModelDLL();
        ClassRegistry::Register<RegistryProbe>();
        ClassRegistry::Register<DerivedProbe>();
        ClassRegistry::Register<AbstractProbe>();
    }
};

} // namespace

TEST_F(RegistryTest, IdentifiersFollowRegistrationOrder)
{
    EXPECT_EQ(Base::classType, 1u);
    EXPECT_EQ(DerivedProbe::classType, RegistryProbe::classType + 1);
    EXPECT_EQ(AbstractProbe::classType, DerivedProbe::classType + 1);
    // A second registration of a known name, in any case, keeps the first identifier and prototype.
    EXPECT_EQ(ClassNameTable::AddClass("XXREGISTRYPROBE", nullptr), RegistryProbe::classType);
    EXPECT_EQ(ClassNameTable::FindInstance("RegistryProbe"), RegistryProbe::classInstance);
    EXPECT_EQ(ClassNameTable::AddClass("", nullptr), 0u);
    // Registering a class again leaves its identifier and prototype as they were.
    const std::uint32_t type = DerivedProbe::classType;
    const Base* prototype = DerivedProbe::classInstance;
    ClassRegistry::Register<DerivedProbe>();
    EXPECT_EQ(DerivedProbe::classType, type);
    EXPECT_EQ(DerivedProbe::classInstance, prototype);
}

TEST_F(RegistryTest, LookupIgnoresCaseAndTheXXPrefix)
{
    const std::uint32_t type = RegistryProbe::classType;
    EXPECT_EQ(Base::FindClassType("registryprobe"), type);
    EXPECT_EQ(Base::FindClassType("REGISTRYPROBE"), type);
    EXPECT_EQ(Base::FindClassType("XXRegistryProbe"), type);
    EXPECT_EQ(Base::FindClassType("xxregistryprobe"), type);
    EXPECT_EQ(Base::FindClassType("base"), Base::classType);
    EXPECT_EQ(Base::FindClassType(""), 0u);
    EXPECT_EQ(Base::FindClassType("NoSuchClass"), 0u);
    EXPECT_EQ(Base::FindClassInstance("NoSuchClass"), nullptr);
}

TEST_F(RegistryTest, AliasReplacesThePlainNameButNotTheRuntimeName)
{
    ClassNameTable::AddCommonClassName("XXDerivedProbe", "RegistryProbe2");
    EXPECT_EQ(Base::FindClassType("registryprobe2"), DerivedProbe::classType);
    EXPECT_EQ(Base::FindClassType("Probe Alias"), DerivedProbe::classType);
    EXPECT_EQ(Base::GetCommonName("DerivedProbe"), "Probe Alias");
    EXPECT_EQ(Base::GetCommonName("registryprobe"), "RegistryProbe");
    EXPECT_EQ(Base::GetCommonName("nothing"), "");
    // An alias that shadows another class's plain name leaves the "XX" name resolving to that class.
    ClassNameTable::AddCommonClassName("XXDerivedProbe", "AbstractProbe");
    EXPECT_EQ(Base::FindClassType("AbstractProbe"), DerivedProbe::classType);
    EXPECT_EQ(Base::FindClassType("XXAbstractProbe"), AbstractProbe::classType);
    EXPECT_EQ(RegistryProbe::classInstance->SetCommonName(""), 0);
    EXPECT_EQ(ClassNameTable::AddCommonClassName("", "x"), 0);
    EXPECT_EQ(Base::FindClassType("x"), 0u);
}

TEST_F(RegistryTest, FactoryNamesAreExact)
{
    EXPECT_EQ(RuntimeMap::CreateObject("registryprobe"), nullptr);
    EXPECT_EQ(RuntimeMap::CreateObject("XXRegistryProbe"), nullptr);
    EXPECT_EQ(RuntimeMap::CreateObject("Base"), nullptr);
    EXPECT_EQ(RuntimeMap::CreateObject("AbstractProbe"), nullptr);
    std::unique_ptr<PersistentObject> object(RuntimeMap::CreateObject("RegistryProbe"));
    ASSERT_NE(object, nullptr);
    EXPECT_TRUE(IsA<RegistryProbe>(static_cast<Base*>(static_cast<RegistryProbe*>(object.get()))));
}

TEST_F(RegistryTest, IsAFollowsTheClassChain)
{
    std::unique_ptr<PersistentObject> object(RuntimeMap::CreateObject("DerivedProbe"));
    auto* derived = static_cast<DerivedProbe*>(object.get());
    Base* base = derived;
    EXPECT_TRUE(base->IsA(Base::classType));
    EXPECT_TRUE(base->IsA(RegistryProbe::classType));
    EXPECT_TRUE(base->IsA(DerivedProbe::classType));
    EXPECT_FALSE(base->IsA(AbstractProbe::classType));
    EXPECT_FALSE(base->IsA(0));
    EXPECT_EQ(DynCast<DerivedProbe>(base), derived);
    EXPECT_EQ(DynCast<AbstractProbe>(base), nullptr);
    EXPECT_EQ(DynCast<Base>(static_cast<Base*>(nullptr)), nullptr);
    EXPECT_STREQ(base->GetClassNameA(), "XXDerivedProbe");
    EXPECT_EQ(base->GetClassInstance(), DerivedProbe::classInstance);
    EXPECT_EQ(base->GetClassType(), DerivedProbe::classType);
    EXPECT_TRUE(base->IsKindOf(&RegistryProbe::GetThisClass()));
}

// IsA<T> answers what the object's identifiers answer, for classes above, at and below its own, a
// sibling at its depth and a class without an identifier.
TEST_F(RegistryTest, IsAOfAClassAgreesWithTheObjectsIdentifiers)
{
    std::unique_ptr<Base> derived(ClassAccess::New<DerivedProbe>());
    std::unique_ptr<Base> probe(ClassAccess::New<RegistryProbe>());
    std::unique_ptr<Base> unregistered(ClassAccess::New<UnregisteredProbe>());
    for (const Base* object : {derived.get(), probe.get(), unregistered.get()}) {
        EXPECT_EQ(IsA<Base>(object), object->IsA(Base::classType));
        EXPECT_EQ(IsA<RegistryProbe>(object), object->IsA(RegistryProbe::classType));
        EXPECT_EQ(IsA<DerivedProbe>(object), object->IsA(DerivedProbe::classType));
        EXPECT_EQ(IsA<AbstractProbe>(object), object->IsA(AbstractProbe::classType));
        EXPECT_EQ(IsA<UnregisteredProbe>(object), object->IsA(UnregisteredProbe::classType));
    }
    EXPECT_TRUE(IsA<RegistryProbe>(unregistered.get()));
    EXPECT_FALSE(IsA<UnregisteredProbe>(unregistered.get()));
    EXPECT_FALSE(IsA<DerivedProbe>(probe.get()));
    EXPECT_FALSE(IsA<AbstractProbe>(derived.get()));
}

TEST_F(RegistryTest, RuntimeRecordsCarryNameSchemaAndBase)
{
    const RuntimeClass* record = RuntimeClass::Find("XXDerivedProbe");
    ASSERT_EQ(record, &DerivedProbe::GetThisClass());
    EXPECT_EQ(record->schema, 0x8000000Du);
    EXPECT_EQ(record->baseClass, &RegistryProbe::GetThisClass());
    EXPECT_EQ(RuntimeClass::Find("xxderivedprobe"), nullptr);
    const RuntimeClass* abstractRecord = RuntimeClass::Find("XXAbstractProbe");
    ASSERT_NE(abstractRecord, nullptr);
    EXPECT_EQ(abstractRecord->schema, 0xFFFFu);
    EXPECT_FALSE(abstractRecord->IsSerializable());
    EXPECT_EQ(RuntimeClass::Find("XXBase")->baseClass, &PersistentObject::GetThisClass());
}

TEST_F(RegistryTest, HierarchyIsMostDerivedFirstAndCreatesTheNearestKnownClass)
{
    ClassHierarchy hierarchy;
    DerivedProbe::classInstance->BuildClassHierarchy(hierarchy);
    EXPECT_EQ(hierarchy.GetNames(), (std::vector<std::string>{"DerivedProbe", "RegistryProbe", "Base"}));
    EXPECT_EQ(hierarchy.GetClassNameA(), "DerivedProbe");

    ClassHierarchy unknown;
    unknown.AddClass("Base");
    unknown.AddClass("RegistryProbe");
    unknown.AddClass("FutureClass");
    std::unique_ptr<PersistentObject> object(unknown.CreateMostKnownDerivedObject());
    ASSERT_NE(object, nullptr);
    EXPECT_STREQ(static_cast<Base*>(static_cast<RegistryProbe*>(object.get()))->GetClassNameA(), "XXRegistryProbe");

    ClassHierarchy nothing;
    EXPECT_EQ(nothing.CreateMostKnownDerivedObject(), nullptr);
    nothing.AddClass("Base");
    EXPECT_EQ(nothing.CreateMostKnownDerivedObject(), nullptr);
}

TEST_F(RegistryTest, HierarchyLoadAppendsBehindPresentNames)
{
    ClassHierarchy stored;
    stored.AddClass("Base");
    stored.AddClass("RegistryProbe");
    Archive out;
    stored.Serialize(out);
    EXPECT_EQ(out.GetBuffer().size(), 4u + 1 + 13 + 1 + 4);

    Archive in(out.GetBuffer());
    ClassHierarchy loaded;
    loaded.AddClass("Existing");
    loaded.Serialize(in);
    EXPECT_EQ(loaded.GetNames(), (std::vector<std::string>{"Existing", "RegistryProbe", "Base"}));

    // A count that the remaining bytes cannot hold is refused before anything is allocated.
    const std::vector<std::uint8_t> bad{0xFF, 0xFF, 0xFF, 0x7F, 0x00};
    Archive badIn(bad);
    ClassHierarchy target;
    EXPECT_THROW(target.Serialize(badIn), ArchiveException);
}

TEST_F(RegistryTest, StartUpAliasesNameTheirClasses)
{
    EXPECT_EQ(Base::FindClassType("group"), NamedCollection::classType);
    EXPECT_EQ(Base::GetCommonName("NamedCollection"), "Group");
}
