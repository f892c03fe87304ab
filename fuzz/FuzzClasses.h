// Classes the fuzz targets register on top of the library's, shared with the corpus generator.
// Include it in one source per program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <tavrel/foundation/ClassRegistry.h>
#include <tavrel/foundation/PropertyPass.h>
#include <tavrel/foundation/TreeNode.h>
#include <tavrel/platform/Archive.h>
#include <tavrel/platform/PersistentObject.h>

namespace Tavrel {

// A framework record holding a number, a string and up to two nested references, as model classes do.
class FuzzRecord : public PersistentObject {
public:
    static const RuntimeClass& GetThisClass() noexcept
    {
        static const RuntimeClass record{"FuzzRecord", RuntimeClass::VersionableSchema | 13u, &Create,
                                         &PersistentObject::GetThisClass()};
        return record;
    }
    static PersistentObject* Create() { return new FuzzRecord; }
    const RuntimeClass* GetRuntimeClass() const override { return &GetThisClass(); }
    ~FuzzRecord() override
    {
        if (onDelete)
            onDelete(this);
    }

    // Called with each nested reference as it is read; the reader decides who owns it.
    static inline void (*onRead)(PersistentObject*) = nullptr;
    // Called as a record dies: the archive deletes a refused record itself, even one a nested
    // reference back to it had already handed out.
    static inline void (*onDelete)(const PersistentObject*) = nullptr;

    void Serialize(Archive& archive) override
    {
        if (archive.IsStoring()) {
            archive << value << text;
            archive.WriteCount(static_cast<std::uint32_t>(references.size()));
            for (const PersistentObject* reference : references)
                archive.WriteObject(reference);
            return;
        }
        archive >> value >> text;
        const std::uint32_t count = archive.ReadCount(2);
        for (std::uint32_t i = 0; i < count && i < 2; ++i) {
            PersistentObject* const reference = archive.ReadObject();
            if (onRead)
                onRead(reference);
        }
    }

    std::int32_t value = 0;
    std::string text;
    std::vector<const PersistentObject*> references;  // written only; not owned
};

// A tree node with an extra reference on top of the tree level.
class FuzzTree : public TreeNode {
    TAVREL_DECLARE_CLASS(FuzzTree, TreeNode)
public:
    static FuzzTree* Make(TreeNode* parent)
    {
        FuzzTree* const node = ClassAccess::New<FuzzTree>();
        if (parent)
            node->SetParent(parent);
        return node;
    }

    void GetSetObjectProperties(PropertyArchive& archive) override
    {
        PropertyPass pass(archive, *this);
        if (!pass)
            return;
        pass.Object("Extra", extra);
        if (onTake && pass.Is(PropertyArchive::MethodRead))
            onTake(extra);
        if (pass.Is(PropertyArchive::MethodAfter))
            archive.FinishObject(this);
    }

    // Told of the reference after each value read, for a reader that must free what records took.
    static inline void (*onTake)(Base*) = nullptr;

    Base* extra = nullptr;  // not owned

protected:
    FuzzTree() = default;
    FuzzTree(const FuzzTree&) = default;
};
TAVREL_IMPLEMENT_CLASS(FuzzTree, ClassKind::Creatable)

} // namespace Tavrel
