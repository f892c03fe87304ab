// ObjectProperty: the host's typed view of one property (name, value with text form, access flags).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <tavrel/core/Color.h>
#include <tavrel/core/Point2d.h>
#include <tavrel/core/Point3d.h>

namespace Tavrel {

class ObjectProperty {
public:
    // Category code for the host; stored and returned, never interpreted here.
    using PropertyType = std::int32_t;
    using Array = std::vector<ObjectProperty>;

    // Category codes the model gives its descriptors (the host gives them their meaning): a value, a
    // choice among the allowed values, an on-off switch, a colour, a position.
    static constexpr PropertyType CategoryValue = 0;
    static constexpr PropertyType CategoryChoice = 1;
    static constexpr PropertyType CategorySwitch = 2;
    static constexpr PropertyType CategoryColor = 3;
    static constexpr PropertyType CategoryPoint = 5;

    // Access bits; higher bits belong to the host and are kept as given.
    static constexpr std::int32_t AccessReadable = 1;
    static constexpr std::int32_t AccessWritable = 2;

    // A typed value with its text form. Numbers are read in the C locale as stream extraction reads
    // them: leading white space skipped, trailing text ignored (StringUtils::StringToReal and the
    // like); text that cannot be taken returns false and leaves the value unchanged.
    class Type {
    public:
        virtual ~Type() = default;
        virtual std::unique_ptr<Type> Clone() const = 0;
        virtual std::string ToString() const = 0;
        virtual bool FromString(std::string_view text) = 0;
        virtual std::string GetTypeName() const = 0;
        // Composite values split into named fields; plain values have one unnamed field.
        virtual std::int32_t GetFieldCount() const { return 1; }
        virtual std::string GetFieldName(std::int32_t index) const;
        virtual std::string GetFieldValue(std::int32_t index) const;

    protected:
        Type() = default;
        Type(const Type&) = default;
        Type& operator=(const Type&) = default;
    };

    class BoolType;
    class ColorType;
    class DoubleType;
    class FloatType;
    class IntType;
    class Point3dType;
    class Point2dType;
    class StringType;

    // No name, no value, access 0, property type 0.
    ObjectProperty();
    // Takes a clone of the value; a null value throws std::invalid_argument.
    ObjectProperty(std::string name, const Type* value, std::int32_t access, PropertyType type);
    ObjectProperty(std::string name, bool value, std::int32_t access, PropertyType type);
    ObjectProperty(std::string name, const Color& value, std::int32_t access, PropertyType type);
    ObjectProperty(std::string name, double value, std::int32_t access, PropertyType type);
    ObjectProperty(std::string name, float value, std::int32_t access, PropertyType type);
    ObjectProperty(std::string name, std::int32_t value, std::int32_t access, PropertyType type);
    ObjectProperty(std::string name, const Point3d& value, std::int32_t access, PropertyType type);
    ObjectProperty(std::string name, const Point2d& value, std::int32_t access, PropertyType type);
    ObjectProperty(std::string name, std::string value, std::int32_t access, PropertyType type);
    // Text literals are text, not bool; a null text is the empty text.
    ObjectProperty(std::string name, const char* value, std::int32_t access, PropertyType type);

    ObjectProperty(const ObjectProperty& other);
    ObjectProperty(ObjectProperty&& other) noexcept = default;
    ObjectProperty& operator=(const ObjectProperty& other);
    ObjectProperty& operator=(ObjectProperty&& other) noexcept = default;
    virtual ~ObjectProperty();

    // False unless both have values; otherwise the same descriptor, or text values equal without
    // regard to letter case.
    bool operator==(const ObjectProperty& other) const;
    bool operator!=(const ObjectProperty& other) const { return !(*this == other); }

    const std::string& GetName() const { return m_name; }
    void SetName(std::string name) { m_name = std::move(name); }
    PropertyType GetPropertyType() const { return m_propertyType; }
    std::int32_t GetAccess() const { return m_access; }
    bool IsReadable() const { return (m_access & AccessReadable) != 0; }
    bool IsWritable() const { return (m_access & AccessWritable) != 0; }
    bool HasValue() const { return m_hasValue; }
    void SetHasValue() { m_hasValue = true; }
    void SetHasNoValue() { m_hasValue = false; }

    // The holder's type name; empty without a holder.
    std::string GetType() const;
    // The holder's text when the descriptor has a value, else the empty text.
    std::string GetStringValue() const;

    // The allowed values; setting them also marks the descriptor as having a value.
    void SetAllValues(std::vector<std::string> values);
    const std::vector<std::string>& GetAllValues() const { return m_allValues; }

    // The holder's field count; 0 without a holder.
    std::int32_t GetFieldCount() const;
    // A composite value's field name for an index in range, else the descriptor's name.
    std::string GetFieldName(std::int32_t index) const;
    // Empty without a value; a composite value's field text for an index in range, else the whole text.
    std::string GetFieldValue(std::int32_t index) const;

private:
    bool IsComposite(std::int32_t index) const;

    std::string m_name;
    std::unique_ptr<Type> m_value;
    std::int32_t m_access = 0;
    PropertyType m_propertyType = 0;
    std::vector<std::string> m_allValues;
    bool m_hasValue = false;
};

// A holder of one value of T; the typed holders below add the text forms.
template <class T>
class ObjectPropertyValue : public ObjectProperty::Type {
public:
    const T& GetValue() const { return m_value; }

protected:
    explicit ObjectPropertyValue(T value) : m_value(std::move(value)) {}

    T m_value;
};

// "TRUE" or "FALSE"; any text other than exactly "TRUE" reads as false.
class ObjectProperty::BoolType final : public ObjectPropertyValue<bool> {
public:
    explicit BoolType(bool value) : ObjectPropertyValue(value) {}
    std::unique_ptr<Type> Clone() const override { return std::make_unique<BoolType>(*this); }
    std::string ToString() const override;
    bool FromString(std::string_view text) override;
    std::string GetTypeName() const override { return "bool"; }
};

// Writes red, green and blue as "%d %d %d" (0 to 255); reads three fractions, each clamped to
// 0..1 and scaled by 255, truncated (1 gives 255, 0.5 gives 127). Alpha is kept.
class ObjectProperty::ColorType final : public ObjectPropertyValue<Color> {
public:
    explicit ColorType(const Color& value) : ObjectPropertyValue(value) {}
    std::unique_ptr<Type> Clone() const override { return std::make_unique<ColorType>(*this); }
    std::string ToString() const override;
    bool FromString(std::string_view text) override;
    std::string GetTypeName() const override { return "Color"; }
};

// "%.6f".
class ObjectProperty::DoubleType final : public ObjectPropertyValue<double> {
public:
    explicit DoubleType(double value) : ObjectPropertyValue(value) {}
    std::unique_ptr<Type> Clone() const override { return std::make_unique<DoubleType>(*this); }
    std::string ToString() const override;
    bool FromString(std::string_view text) override;
    std::string GetTypeName() const override { return "double"; }
};

// "%.3f".
class ObjectProperty::FloatType final : public ObjectPropertyValue<float> {
public:
    explicit FloatType(float value) : ObjectPropertyValue(value) {}
    std::unique_ptr<Type> Clone() const override { return std::make_unique<FloatType>(*this); }
    std::string ToString() const override;
    bool FromString(std::string_view text) override;
    std::string GetTypeName() const override { return "float"; }
};

// "%d"; int and long properties alike.
class ObjectProperty::IntType final : public ObjectPropertyValue<std::int32_t> {
public:
    explicit IntType(std::int32_t value) : ObjectPropertyValue(value) {}
    std::unique_ptr<Type> Clone() const override { return std::make_unique<IntType>(*this); }
    std::string ToString() const override;
    bool FromString(std::string_view text) override;
    std::string GetTypeName() const override { return "int"; }
};

// Fields "X", "Y", "Z", each "%.3f"; the text is the three fields separated by blanks.
class ObjectProperty::Point3dType final : public ObjectPropertyValue<Point3d> {
public:
    explicit Point3dType(const Point3d& value) : ObjectPropertyValue(value) {}
    std::unique_ptr<Type> Clone() const override { return std::make_unique<Point3dType>(*this); }
    std::string ToString() const override;
    bool FromString(std::string_view text) override;
    std::string GetTypeName() const override { return "Point3d"; }
    std::int32_t GetFieldCount() const override { return 3; }
    // "-" for an index out of range, as name and as value.
    std::string GetFieldName(std::int32_t index) const override;
    std::string GetFieldValue(std::int32_t index) const override;
};

// Fields "X", "Y", each "%.3f"; the text is the two fields separated by a blank.
class ObjectProperty::Point2dType final : public ObjectPropertyValue<Point2d> {
public:
    explicit Point2dType(const Point2d& value) : ObjectPropertyValue(value) {}
    std::unique_ptr<Type> Clone() const override { return std::make_unique<Point2dType>(*this); }
    std::string ToString() const override;
    bool FromString(std::string_view text) override;
    std::string GetTypeName() const override { return "Point2d"; }
    std::int32_t GetFieldCount() const override { return 2; }
    // "-" for an index out of range, as name and as value.
    std::string GetFieldName(std::int32_t index) const override;
    std::string GetFieldValue(std::int32_t index) const override;
};

// The text itself; the empty text is refused.
class ObjectProperty::StringType final : public ObjectPropertyValue<std::string> {
public:
    explicit StringType(std::string value) : ObjectPropertyValue(std::move(value)) {}
    std::unique_ptr<Type> Clone() const override { return std::make_unique<StringType>(*this); }
    std::string ToString() const override { return m_value; }
    bool FromString(std::string_view text) override;
    std::string GetTypeName() const override { return "CString"; }
};

} // namespace Tavrel
