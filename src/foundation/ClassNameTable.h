// Process-wide table from run-time class name (any case, with or without "XX") to prototype and identifier.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace Tavrel {

class Base;

class ClassNameTable {
public:
    struct ClassData {
        const Base* instance = nullptr;
        std::uint32_t type = 0;
    };

    // Registers a run-time class name with its prototype and returns its class-type identifier:
    // 1, 2, 3 ... in registration order; the first identifier again for a name already known (any
    // case); 0 for an empty name.
    static std::uint32_t AddClass(std::string_view name, const Base* instance);
    // Registers an alias for a run-time class name (with its "XX"); always returns 0.
    static int AddCommonClassName(std::string_view className, std::string_view commonName);

    // The identifier or prototype of the class the name denotes; 0 or null when none.
    static std::uint32_t FindType(std::string_view name);
    static const Base* FindInstance(std::string_view name);

    ClassNameTable() = delete;

private:
    struct Tables {
        std::unordered_map<std::string, ClassData> classes;    // lower-cased run-time name -> class
        std::unordered_map<std::string, std::string> aliases;  // lower-cased alias -> class key
        std::uint32_t lastType = 0;
    };
    static Tables& GetTables();
    static std::string FindClassName(std::string_view name);
    static const ClassData* Find(std::string_view name);
};

} // namespace Tavrel
