// ScopedInstall: installs a test's answers to a lower folder's questions and puts the previous ones back.
#pragma once

namespace Tavrel::test {

// Interface is one of the library's installable interfaces (Installed, Install).
template <class Interface>
class ScopedInstall {
public:
    explicit ScopedInstall(const Interface& answers) : m_previous(Interface::Install(&answers)) {}
    ~ScopedInstall() { Interface::Install(m_previous); }
    ScopedInstall(const ScopedInstall&) = delete;
    ScopedInstall& operator=(const ScopedInstall&) = delete;

private:
    const Interface* m_previous;
};

} // namespace Tavrel::test
