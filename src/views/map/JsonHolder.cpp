#include "views/map/JsonHolder.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace orv {

bool CJsonHolder::Parse(const std::string& text) {
    m_pairs.clear();
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray(text.data(), qsizetype(text.size())), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return false;
    const QJsonObject object = doc.object();
    for (auto it = object.begin(); it != object.end(); ++it)
        if (it.value().isString()) m_pairs[it.key().toStdString()] = it.value().toString().toStdString();
    return true;
}

void CJsonHolder::AddPair(const std::string& key, const std::string& text) { m_pairs[key] = text; }

std::string CJsonHolder::Get(const std::string& key) const {
    const auto it = m_pairs.find(key);
    return it == m_pairs.end() ? std::string() : it->second;
}

std::string CJsonHolder::Serialize() const {
    QJsonObject object;
    for (const auto& [key, text] : m_pairs) object.insert(QString::fromStdString(key), QString::fromStdString(text));
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

}  // namespace orv
