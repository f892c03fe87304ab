// Loads arbitrary bytes as a document file into a document that already holds a tree, converting
// conformations. A load that succeeds must save and load back to the same tree, but for the bond
// orders the saved form does not keep; a refused one must leave the document saving the same bytes as
// before; nothing a load made may outlive the document.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "Oracle.h"
#include "support/TreeDescription.h"
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/SubUnit.h>
#include <tavrel/document/ChemDoc.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/DataStorage.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/InternalBase.h>
#include <tavrel/foundation/NamedCollection.h>
#include <tavrel/foundation/Object.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/platform/Archive.h>

using namespace Tavrel;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Save(ChemDoc& document)
{
    Archive archive;
    document.Serialize(archive);
    return archive.GetBuffer();
}

void Hold(ChemDoc& document)
{
    TreeRoot* const root = document.GetTreeRoot();
    root->SetLabel("held");
    auto* const kept = new Object(root);
    kept->SetLabel("kept");
    kept->SetProperty("Weight", 2.5f, DataStorage::FlagReadable);
    auto* const residue = new SubUnit(kept);
    residue->SetSubUnitType("ALA");
    residue->SetXYZ(Point3d(1.0, 2.0, 3.0));
    root->CreateNamedCollection("group")->Add(residue);
    document.SetViewSize(12.0);
}

// The saved form keeps a bond's type and not its order: a load gives each bond the order a new bond
// of its type has (1.0 for a type that sets none). An older file keeps the order, so a document
// loaded from one comes back with these orders, and with what follows from them (the hydrogens an
// atom lacks): this sets them in the loaded tree, once it is saved, to compare it with its reload.
void SetOrdersAsTheSavedFormGives(TreeRoot& root)
{
    TreeRoot scratch;
    auto* const one = new Atom3d(&scratch, ElementType(6));
    auto* const other = new Atom3d(&scratch, ElementType(6));
    DescendentIterator walk(&root, Bond::classType, false);
    while (Object* const found = walk.GetNext()) {
        auto* const bond = static_cast<Bond*>(found);
        Bond* const fresh = one->MakeBond(other, bond->GetType());
        bond->SetOrder(fresh->GetOrder());
        delete fresh;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Conformer models come back from a saved document only with conversion on.
    static const bool ready = (AttachDataModelDLL(), ChemDoc::SetConvertConformations(true), true);
    static_cast<void>(ready);
    const std::size_t live = CountLiveObjectsForTests();
    const std::uint32_t lastOIDBefore = Base::GetLastOID();
    {
        ChemDoc document;
        Hold(document);
        const Bytes held = Save(document);
        bool loaded = false;
        try {
            Archive archive(data, size);
            document.Serialize(archive);
            loaded = true;
        } catch (const ArchiveException&) {
            Check(Save(document) == held, "a refused load changed the document");
        }
        if (loaded) {
            ChemDoc again;
            Archive first(Save(document));
            again.Serialize(first);
            SetOrdersAsTheSavedFormGives(*document.GetTreeRoot());
            CheckSameTree(DescribeTree(*document.GetTreeRoot(), false), DescribeTree(*again.GetTreeRoot(), false),
                          "a loaded document saved and loaded back differs");
            ChemDoc third;
            Archive second(Save(again));
            third.Serialize(second);
            CheckSameTree(DescribeTree(*again.GetTreeRoot(), true), DescribeTree(*third.GetTreeRoot(), true),
                          "a saved document loaded and saved again differs");
        }
    }
    CheckNothingOutlives(live, lastOIDBefore, "objects a load made outlive the document");
    return 0;
}
