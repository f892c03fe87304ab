#include <tavrel/foundation/PropertyTable.h>

#include <vector>

#include <tavrel/core/StringUtils.h>

namespace Tavrel {

std::int32_t PropertyEntry::Access() const
{
    return setText && !Has(ReadOnly) ? ObjectProperty::AccessReadable | ObjectProperty::AccessWritable
                                     : ObjectProperty::AccessReadable;
}

bool PropertyEntry::MatchesText(std::string_view text) const
{
    if (textName.empty())
        return false;
    if (Has(Prefix))
        return text.size() >= textName.size() && StringUtils::EqualsNoCase(text.substr(0, textName.size()), textName);
    return StringUtils::EqualsNoCase(text, textName) || (!alias.empty() && StringUtils::EqualsNoCase(text, alias));
}

// ---- Text forms

namespace PropertyText {

std::string ToText(const std::string& value)
{
    return value;
}

std::string ToText(std::int32_t value)
{
    return StringUtils::Format("%d", value);
}

std::string ToText(float value)
{
    return StringUtils::Format("%.4f", value);
}

std::string ToText(double value)
{
    return StringUtils::Format("%.4f", value);
}

std::string ToText(bool value)
{
    return value ? "true" : "false";
}

std::string ToText(const Color& value)
{
    return value.GetRGBString();
}

std::string ToText(const Point3d& value)
{
    return StringUtils::Format("%.4f %.4f %.4f", value.x, value.y, value.z);
}

bool FromText(std::string_view text, std::string& value)
{
    value = text;
    return true;
}

bool FromText(std::string_view text, std::string_view& value)
{
    value = text;
    return true;
}

bool FromText(std::string_view text, std::int32_t& value)
{
    return StringUtils::StringToInteger(text, value);
}

bool FromText(std::string_view text, float& value)
{
    return StringUtils::StringToReal(text, value);
}

bool FromText(std::string_view text, double& value)
{
    return StringUtils::StringToReal(text, value);
}

bool FromText(std::string_view text, bool& value)
{
    return StringUtils::StringToBoolean(text, value);
}

bool FromText(std::string_view text, Color& value)
{
    return value.SetRGB(text);
}

bool FromText(std::string_view text, Point3d& value)
{
    Point3d point;
    if (!StringUtils::StringToPoint(text, point))
        return false;
    value = point;
    return true;
}

std::string_view WordOf(std::int32_t value, std::span<const PropertyWord> words)
{
    for (const PropertyWord& word : words) {
        if (word.value == value)
            return word.word;
    }
    return {};
}

bool ValueOf(std::string_view word, std::span<const PropertyWord> words, std::int32_t& value)
{
    for (const PropertyWord& named : words) {
        if (StringUtils::EqualsNoCase(word, named.word)) {
            value = named.value;
            return true;
        }
    }
    return false;
}

ObjectProperty Describe(const PropertyEntry& entry, ObjectProperty property)
{
    if (!entry.choices.empty())
        property.SetAllValues(std::vector<std::string>(entry.choices.begin(), entry.choices.end()));
    else if (!entry.words.empty()) {
        std::vector<std::string> words;
        for (const PropertyWord& word : entry.words)
            words.emplace_back(word.word);
        property.SetAllValues(std::move(words));
    }
    return property;
}

} // namespace PropertyText

// ---- Table

void PropertyTable::Serialize(Archive& archive, Base& object) const
{
    if (m_record) {
        m_record(object, archive);
        return;
    }
    if (m_before)
        m_before(object, archive, nullptr);
    if (archive.IsStoring()) {
        for (const PropertyEntry& entry : m_entries) {
            if (entry.IsWritten())
                entry.archiveWrite(archive, object, entry);
        }
    } else {
        // Taken before the fields: reading an inline record among them sets the archive's schema anew.
        const std::uint32_t schema = archive.GetObjectSchema();
        archive.SetObjectSchema(schema);
        for (const PropertyEntry& entry : m_entries) {
            if (entry.IsArchivedIn(schema))
                entry.archiveRead(archive, object, entry);
        }
    }
    if (m_after)
        m_after(object, archive, nullptr);
}

void PropertyTable::BuildListing(const std::vector<std::string_view>& textNames)
{
    if (textNames.empty()) {
        for (std::size_t i = 0; i < m_entries.size(); ++i) {
            if (m_entries[i].Has(PropertyEntry::Shown))
                m_listing.push_back(i);
        }
        return;
    }
    for (const std::string_view textName : textNames) {
        for (std::size_t i = 0; i < m_entries.size(); ++i) {
            if (m_entries[i].Has(PropertyEntry::Shown) && m_entries[i].textName == textName)
                m_listing.push_back(i);
        }
    }
}

const PropertyEntry* PropertyTable::FindText(std::string_view name, Use use) const
{
    for (const PropertyTable* table = this; table; table = table->m_textBase) {
        for (const PropertyEntry& entry : table->m_entries) {
            const bool serves = use == Use::Get   ? entry.getText != nullptr
                                : use == Use::Set ? entry.setText || entry.Has(PropertyEntry::ReadOnly)
                                                  : entry.Has(PropertyEntry::Shown);
            if (serves && entry.MatchesText(name))
                return &entry;
        }
    }
    return nullptr;
}

void PropertyTable::List(const Base& object, ObjectProperty::Array& properties) const
{
    std::vector<const PropertyTable*> chain;
    for (const PropertyTable* table = this; table; table = table->m_textBase)
        chain.push_back(table);
    for (auto level = chain.rbegin(); level != chain.rend(); ++level) {
        for (const std::size_t index : (*level)->m_listing) {
            const PropertyEntry& entry = (*level)->m_entries[index];
            ObjectProperty property = entry.describe(object, entry);
            if (property.HasValue())
                properties.push_back(std::move(property));
        }
    }
}

} // namespace Tavrel
