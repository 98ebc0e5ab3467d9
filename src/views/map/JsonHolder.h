// The flat JSON objects of the web messages between the program and the map page: string
// keys to string values, kept sorted by key. Reading and writing go through Qt's JSON
// support, so any text survives the round trip (quotes, commas, colons, braces).
#pragma once

#include <map>
#include <string>

namespace orv {

class CJsonHolder {
public:
    virtual ~CJsonHolder() = default;

    // Replaces the pairs by the string members of the object in `text` (UTF-8). Members of
    // other types are skipped. False, leaving no pairs, when `text` is not a JSON object.
    bool Parse(const std::string& text);

    // Adds the pair, replacing a pair of the same key.
    void AddPair(const std::string& key, const std::string& text);

    // The value of `key`; "" when absent.
    std::string Get(const std::string& key) const;

    void Clear() { m_pairs.clear(); }
    std::size_t Size() const { return m_pairs.size(); }

    // One compact object, members in key order.
    std::string Serialize() const;

private:
    std::map<std::string, std::string> m_pairs;
};

}  // namespace orv
