// Loads arbitrary bytes as a document file into a document that already holds a tree.
#include <cstddef>
#include <cstdint>

#include "document/ChemDoc.h"
#include "document/DataModelLibrary.h"
#include "foundation/Object.h"
#include "foundation/TreeRoot.h"
#include "platform/Archive.h"

using namespace Tavrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool ready = (AttachDataModelDLL(), true);
    static_cast<void>(ready);
    ChemDoc document;
    TreeRoot* const root = document.GetTreeRoot();
    (new Object(root))->SetLabel("kept");
    try {
        Archive archive(data, size);
        document.Serialize(archive);
    } catch (const ArchiveException&) {
        // A refused file leaves the document as it was.
        if (document.GetTreeRoot() != root || root->GetNumChildren() != 1 || root->GetChild(0)->GetLabel() != "kept")
            __builtin_trap();
    }
    return 0;
}
