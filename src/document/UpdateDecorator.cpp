#include <tavrel/document/UpdateDecorator.h>

#include <tavrel/document/ChemDoc.h>
#include <tavrel/foundation/TreeRoot.h>

namespace Tavrel {

UpdateDecorator::UpdateDecorator(const Command& command) : CommandDecorator(command) {}

UpdateDecorator::UpdateDecorator(const UpdateDecorator& other) = default;

UpdateDecorator& UpdateDecorator::operator=(const UpdateDecorator& other) = default;

UpdateDecorator::~UpdateDecorator() = default;

std::unique_ptr<Command> UpdateDecorator::Copy() const
{
    return std::make_unique<UpdateDecorator>(*this);
}

void UpdateDecorator::EndCommand(Command& command, ChemDoc* doc, bool succeeded)
{
    if (!succeeded || !doc)
        return;
    TreeRoot* const root = doc->GetTreeRoot();
    if (!root)
        return;
    const int hint = command.GetUpdateHint();
    if (hint != UpdateNone)
        root->BroadcastChange(hint);
}

} // namespace Tavrel
