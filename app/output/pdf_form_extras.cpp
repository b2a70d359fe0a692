#include "pdf_form_extras.h"

#include <qpdf/Pl_Buffer.hh>
#include <qpdf/Pl_Flate.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include <map>
#include <set>
#include <stdexcept>

namespace {

using Object = QPDFObjectHandle;

// Marks a page's content as it passes: each text object (BT ... ET) and
// each image drawn is marked content of its own, numbered in content order,
// with the type of the element that holds it; the paths and whatever else
// paints are artifacts. Texts and images are counted in drawing order.
class Marker final : public QPDFObjectHandle::TokenFilter {
public:
    Marker(std::map<int, QByteArray> texts, std::map<int, QByteArray> pictures, Object xobjects)
        : texts_(std::move(texts)), pictures_(std::move(pictures)), xobjects_(std::move(xobjects))
    {
    }

    // For each text and each picture, its marked content's number.
    std::map<int, int> text_mcids, picture_mcids;
    int text_count = 0, picture_count = 0, mcid_count = 0;

    void handleToken(const QPDFTokenizer::Token &token) override
    {
        pending_.push_back(token);
        if (token.getType() != QPDFTokenizer::tt_word)
            return; // operands wait for their operator
        static const std::set<std::string> starts_path{"m", "re"};
        static const std::set<std::string> ends_path{"S", "s", "f", "F", "f*", "B", "B*", "b", "b*", "n"};
        const std::string op = token.getValue();
        if (op == "BT") {
            Begin(texts_, text_count++, text_mcids);
            Flush();
        } else if (op == "ET") {
            Flush();
            write("\nEMC\n");
        } else if (starts_path.count(op) && !in_path_) {
            write("\n/Artifact BMC\n");
            in_path_ = true;
            Flush();
        } else if (ends_path.count(op) && in_path_) {
            Flush();
            write("\nEMC\n");
            in_path_ = false;
        } else if (op == "Do" || op == "sh") {
            if (op == "Do" && Is_Image())
                Begin(pictures_, picture_count++, picture_mcids);
            else
                write("\n/Artifact BMC\n");
            Flush();
            write("\nEMC\n");
        } else {
            Flush();
        }
    }

    void handleEOF() override { Flush(); }

private:
    void Begin(const std::map<int, QByteArray> &types, int index, std::map<int, int> &mcids)
    {
        const auto type = types.find(index);
        if (type == types.end()) {
            write("\n/Artifact BMC\n");
            return;
        }
        mcids[index] = mcid_count;
        write(("\n/" + type->second + " <</MCID " + QByteArray::number(mcid_count++) + ">> BDC\n").toStdString());
    }

    bool Is_Image()
    {
        for (auto token = pending_.rbegin(); token != pending_.rend(); ++token)
            if (token->getType() == QPDFTokenizer::tt_name) {
                Object xobject = xobjects_.isDictionary() ? xobjects_.getKey(token->getValue()) : Object();
                return xobject.isStream() && xobject.getDict().getKey("/Subtype").isNameAndEquals("/Image");
            }
        return false;
    }

    void Flush()
    {
        for (const QPDFTokenizer::Token &token : pending_)
            writeToken(token);
        pending_.clear();
    }

    std::map<int, QByteArray> texts_, pictures_;
    Object xobjects_;
    std::vector<QPDFTokenizer::Token> pending_;
    bool in_path_ = false;
};

Object Text(const QString &text)
{
    return Object::newUnicodeString(text.toStdString());
}

} // namespace

void Add_Scripts(QPDF &pdf, const std::vector<Pdf_Script> &scripts, const std::vector<Pdf_Field> &fields,
                 const std::vector<Object> &widgets)
{
    std::map<QString, Object> by_name;
    for (std::size_t i = 0; i < fields.size() && i < widgets.size(); ++i)
        by_name[fields[i].Name] = widgets[i];
    std::map<QString, Object> actions; // fields with the same script share its action
    Object order = Object::newArray();
    for (const Pdf_Script &script : scripts) {
        const auto widget = by_name.find(script.Field);
        if (widget == by_name.end())
            throw std::runtime_error("a script for a field the form does not have: " + script.Field.toStdString());
        Object &action = actions[script.Source];
        if (!action.isInitialized()) {
            action = pdf.makeIndirectObject(Object::parse("<< /S /JavaScript >>"));
            action.replaceKey("/JS", Object::newString(script.Source.toStdString()));
        }
        Object events = widget->second.getKey("/AA");
        if (!events.isDictionary()) {
            events = Object::newDictionary();
            widget->second.replaceKey("/AA", events);
        }
        events.replaceKey(script.When == Pdf_Script::Calculate  ? "/C"
                          : script.When == Pdf_Script::Validate ? "/V"
                                                                : "/F",
                          action);
        if (script.When == Pdf_Script::Calculate)
            order.appendItem(widget->second);
    }
    if (order.getArrayNItems() > 0)
        pdf.getRoot().getKey("/AcroForm").replaceKey("/CO", order);
}

void Add_Structure(QPDF &pdf, const Pdf_Extras &extras, const std::vector<Object> &widgets)
{
    const std::vector<Pdf_Element> &elements = extras.Structure;
    if (elements.empty())
        return;
    QPDFPageObjectHelper page = QPDFPageDocumentHelper(pdf).getAllPages().front();
    Object page_object = page.getObjectHandle();

    std::map<int, QByteArray> texts, pictures;
    for (const Pdf_Element &element : elements) {
        for (const int text : element.Texts)
            texts[text] = element.Type;
        for (const int picture : element.Pictures)
            pictures[picture] = element.Type;
    }
    Marker marker(texts, pictures, page.getAttribute("/Resources", false).getKey("/XObject"));
    // Compressed here: the writer leaves new streams as they are.
    Pl_Buffer buffer("the marked content");
    Pl_Flate compressed("the marked content, compressed", &buffer, Pl_Flate::a_deflate);
    page.filterContents(&marker, &compressed);
    // Texts that the structure does not place: rather an untagged form
    // than one that reads out the wrong words, or no PDF at all.
    if (marker.text_count != int(texts.size()) || marker.text_mcids.size() != texts.size() ||
        marker.picture_mcids.size() != pictures.size())
        return;
    const std::shared_ptr<Buffer> content = buffer.getBufferSharedPointer();
    Object stream = Object::newStream(&pdf);
    stream.replaceStreamData(std::string(reinterpret_cast<const char *>(content->getBuffer()), content->getSize()),
                             Object::newName("/FlateDecode"), Object::newNull());
    page_object.replaceKey("/Contents", stream);

    Object root = pdf.makeIndirectObject(Object::parse("<< /Type /StructTreeRoot /K [] >>"));
    // The parent tree: the page's marked content (key 0), then each widget.
    std::vector<Object> by_mcid(std::size_t(marker.mcid_count));
    Object numbers = Object::newArray();
    std::vector<Object> made;
    const Object struct_elem = Object::newName("/StructElem");
    for (const Pdf_Element &element : elements) {
        Object parent = element.Parent < 0 ? root : made.at(std::size_t(element.Parent));
        Object node = pdf.makeIndirectObject(Object::newDictionary());
        node.replaceKey("/Type", struct_elem);
        node.replaceKey("/S", Object::newName(("/" + element.Type).toStdString()));
        node.replaceKey("/P", parent);
        node.replaceKey("/Pg", page_object);
        if (!element.Alt.isEmpty())
            node.replaceKey("/Alt", Text(element.Alt));
        if (!element.Scope.isEmpty())
            node.replaceKey("/A", Object::parse(("<< /O /Table /Scope /" + element.Scope + " >>").toStdString()));
        Object kids = Object::newArray();
        node.replaceKey("/K", kids);
        for (const int text : element.Texts) {
            const int mcid = marker.text_mcids.at(text);
            kids.appendItem(Object::newInteger(mcid));
            by_mcid[std::size_t(mcid)] = node;
        }
        for (const int picture : element.Pictures) {
            const int mcid = marker.picture_mcids.at(picture);
            kids.appendItem(Object::newInteger(mcid));
            by_mcid[std::size_t(mcid)] = node;
        }
        if (element.Field >= 0) {
            Object widget = widgets.at(std::size_t(element.Field));
            const int key = 1 + element.Field;
            widget.replaceKey("/StructParent", Object::newInteger(key));
            Object reference = Object::newDictionary();
            reference.replaceKey("/Type", Object::newName("/OBJR"));
            reference.replaceKey("/Obj", widget);
            reference.replaceKey("/Pg", page_object);
            kids.appendItem(reference);
            numbers.appendItem(Object::newInteger(key));
            numbers.appendItem(node);
        }
        parent.getKey("/K").appendItem(node);
        made.push_back(node);
    }
    Object on_page = Object::newArray();
    for (const Object &node : by_mcid)
        on_page.appendItem(node);
    Object all = Object::newArray();
    all.appendItem(Object::newInteger(0));
    all.appendItem(pdf.makeIndirectObject(on_page));
    for (int i = 0; i < numbers.getArrayNItems(); ++i)
        all.appendItem(numbers.getArrayItem(i));
    Object tree = Object::newDictionary();
    tree.replaceKey("/Nums", all);
    root.replaceKey("/ParentTree", pdf.makeIndirectObject(tree));
    root.replaceKey("/ParentTreeNextKey", Object::newInteger(1 + int(widgets.size())));
    page_object.replaceKey("/StructParents", Object::newInteger(0));
    page_object.replaceKey("/Tabs", Object::newName("/S"));

    Object catalog = pdf.getRoot();
    catalog.replaceKey("/StructTreeRoot", root);
    catalog.replaceKey("/MarkInfo", Object::parse("<< /Marked true >>"));
    catalog.replaceKey("/Lang", Text(extras.Language));
    Object preferences = catalog.getKey("/ViewerPreferences");
    if (!preferences.isDictionary()) {
        preferences = Object::newDictionary();
        catalog.replaceKey("/ViewerPreferences", preferences);
    }
    preferences.replaceKey("/DisplayDocTitle", Object::newBool(true));
}
