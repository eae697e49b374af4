#pragma once

// A report page read back as a tree by Qt's XML reader, which refuses anything that is not
// well-formed XML; with the few look-ups the tests need.

#include <QString>
#include <QXmlStreamReader>
#include <map>
#include <string>
#include <vector>

namespace ombrel::test {

struct XmlElement {
    std::string name;       // the local name
    std::string nameSpace;  // the namespace URI
    std::map<std::string, std::string> attributes;
    std::vector<XmlElement> children;
    std::string text;  // the character data directly inside, concatenated

    std::string Attribute(const std::string& key) const {
        const auto found = attributes.find(key);
        return found == attributes.end() ? std::string() : found->second;
    }
    bool HasClass(const std::string& className) const {
        const std::string classes = " " + Attribute("class") + " ";
        return classes.find(" " + className + " ") != std::string::npos;
    }
    // Every element below (this one included) with this local name and, when given, this class.
    void FindAll(const std::string& local, const std::string& className,
                 std::vector<const XmlElement*>& found) const {
        if (name == local && (className.empty() || HasClass(className))) found.push_back(this);
        for (const XmlElement& child : children) child.FindAll(local, className, found);
    }
    std::vector<const XmlElement*> All(const std::string& local, const std::string& className = "") const {
        std::vector<const XmlElement*> found;
        FindAll(local, className, found);
        return found;
    }
    // The text of this element and of everything inside it.
    std::string AllText() const {
        std::string all = text;
        for (const XmlElement& child : children) all += child.AllText();
        return all;
    }
    // The text of the first child element of this name ("" when there is none).
    std::string ChildText(const std::string& local) const {
        for (const XmlElement& child : children) {
            if (child.name == local) return child.AllText();
        }
        return "";
    }
};

struct ParsedXml {
    XmlElement root;
    std::string error;  // empty when the text is well-formed
};

inline ParsedXml ParseXml(const std::string& text) {
    QXmlStreamReader reader(QByteArray::fromStdString(text));
    ParsedXml parsed;
    std::vector<XmlElement*> open;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            XmlElement element;
            element.name = reader.name().toString().toStdString();
            element.nameSpace = reader.namespaceUri().toString().toStdString();
            for (const QXmlStreamAttribute& attribute : reader.attributes())
                element.attributes[attribute.qualifiedName().toString().toStdString()] =
                    attribute.value().toString().toStdString();
            if (open.empty()) {
                parsed.root = std::move(element);
                open.push_back(&parsed.root);
            } else {
                open.back()->children.push_back(std::move(element));
                open.push_back(&open.back()->children.back());
            }
        } else if (token == QXmlStreamReader::EndElement) {
            open.pop_back();
        } else if (token == QXmlStreamReader::Characters && !open.empty()) {
            open.back()->text += reader.text().toString().toStdString();
        }
    }
    if (reader.hasError())
        parsed.error =
            QString("line %1: %2").arg(reader.lineNumber()).arg(reader.errorString()).toStdString();
    return parsed;
}

}  // namespace ombrel::test
