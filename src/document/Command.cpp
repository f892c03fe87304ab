#include <tavrel/document/Command.h>

#include <utility>

namespace Tavrel {

const RuntimeClass& Command::GetThisClass() noexcept
{
    static const RuntimeClass record{"Command", RuntimeClass::DynamicOnly, nullptr, &PersistentObject::GetThisClass()};
    return record;
}

Command::Command(const Command& other) : PersistentObject(other) {}

Command& Command::operator=(const Command&)
{
    return *this;
}

bool Command::DisplayWaitCursor(ChemDoc*) const
{
    return false;
}

bool Command::Execute(ChemDoc* doc)
{
    return Do(doc);
}

std::string Command::GetErrorMessage() const
{
    return m_errorMessage;
}

std::string Command::GetErrorString(std::string_view) const
{
    return m_errorMessage;
}

std::string Command::GetResultString(std::string_view) const
{
    return {};
}

int Command::GetUpdateHint() const
{
    return UpdateAll;
}

bool Command::IsSuitable(ChemDoc*) const
{
    return true;
}

bool Command::IsUndoable() const
{
    return true;
}

bool Command::Merge(const Command*)
{
    return false;
}

void Command::SetErrorMessage(std::string message)
{
    m_errorMessage = std::move(message);
}

Command::HowBadly Command::WantsCheckpoint() const
{
    return HowBadly::NotNeeded;
}

} // namespace Tavrel
