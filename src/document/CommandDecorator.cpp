#include <tavrel/document/CommandDecorator.h>

#include <stdexcept>

namespace Tavrel {

namespace {

std::unique_ptr<Command> CopyOf(const Command& command)
{
    std::unique_ptr<Command> copy = command.Copy();
    if (!copy)
        throw std::invalid_argument("CommandDecorator: the command gave no copy of itself");
    return copy;
}

} // namespace

CommandDecorator::CommandDecorator(const Command& command) : m_command(CopyOf(command)) {}

CommandDecorator::CommandDecorator(const CommandDecorator& other) : Command(other), m_command(CopyOf(*other.m_command))
{
}

CommandDecorator& CommandDecorator::operator=(const CommandDecorator& other)
{
    if (this != &other) {
        std::unique_ptr<Command> copy = CopyOf(*other.m_command);
        Command::operator=(other);
        m_command = std::move(copy);
    }
    return *this;
}

CommandDecorator::~CommandDecorator() = default;

bool CommandDecorator::Execute(ChemDoc* doc)
{
    return m_command->Execute(doc);
}

bool CommandDecorator::Merge(const Command* other)
{
    return m_command->Merge(other);
}

Command::HowBadly CommandDecorator::WantsCheckpoint() const
{
    return m_command->WantsCheckpoint();
}

bool CommandDecorator::Do(ChemDoc* doc)
{
    BeginCommand(*m_command, doc);
    const bool succeeded = m_command->Do(doc);
    EndCommand(*m_command, doc, succeeded);
    return succeeded;
}

std::string CommandDecorator::GetName() const
{
    return m_command->GetName();
}

void CommandDecorator::BeginCommand(Command&, ChemDoc*) {}

void CommandDecorator::EndCommand(Command&, ChemDoc*, bool) {}

} // namespace Tavrel
