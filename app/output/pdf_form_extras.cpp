#include "pdf_form_extras.h"

#include "outcome.h"

#include <qpdf/Pl_Buffer.hh>
#include <qpdf/Pl_Flate.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include <map>
#include <optional>
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

namespace {

const char *Event_Key(Pdf_Script::Event event)
{
    switch (event) {
    case Pdf_Script::Keystroke:
        return "/K";
    case Pdf_Script::Validate:
        return "/V";
    case Pdf_Script::Calculate:
        return "/C";
    case Pdf_Script::Focus:
        return "/Fo";
    case Pdf_Script::Format:
        break;
    }
    return "/F";
}

Object JavaScript(QPDF &pdf, const QString &source)
{
    Object action = pdf.makeIndirectObject(Object::parse("<< /S /JavaScript >>"));
    action.replaceKey("/JS", Object::newString(source.toStdString()));
    return action;
}

// The document's own script, run when it is opened: the one entry of the
// document's JavaScript names, which every reader with scripts runs, and
// its open action too, which pdf.js runs again once it has shown every
// field through its format.
void Add_Open_Script(QPDF &pdf, const QString &source)
{
    if (source.isEmpty())
        return;
    const Object action = JavaScript(pdf, source);
    Object catalog = pdf.getRoot();
    Object names = catalog.getKey("/Names");
    if (!names.isDictionary()) {
        names = pdf.makeIndirectObject(Object::newDictionary());
        catalog.replaceKey("/Names", names);
    }
    names.replaceKey("/JavaScript",
                     Object::newDictionary({{"/Names", Object::newArray({Object::newUnicodeString("open"), action})}}));
    if (!catalog.hasKey("/OpenAction"))
        catalog.replaceKey("/OpenAction", action);
}

} // namespace

void Add_Scripts(QPDF &pdf, const Pdf_Extras &extras, const std::vector<Pdf_Field> &fields,
                 const std::vector<Object> &widgets)
{
    std::map<QString, Object> by_name;
    for (std::size_t i = 0; i < fields.size() && i < widgets.size(); ++i)
        by_name[fields[i].Name] = widgets[i];
    std::map<QString, Object> actions; // fields with the same script share its action
    Object order = Object::newArray();
    for (const Pdf_Script &script : extras.Scripts) {
        const auto widget = by_name.find(script.Field);
        if (widget == by_name.end())
            throw Program_Fault("a script for a field the form does not have: " + script.Field.toStdString());
        Object &action = actions[script.Source];
        if (!action.isInitialized())
            action = JavaScript(pdf, script.Source);
        Object events = widget->second.getKey("/AA");
        if (!events.isDictionary()) {
            events = Object::newDictionary();
            widget->second.replaceKey("/AA", events);
        }
        events.replaceKey(Event_Key(script.When), action);
        if (script.When == Pdf_Script::Calculate)
            order.appendItem(widget->second);
    }
    if (order.getArrayNItems() > 0)
        pdf.getRoot().getKey("/AcroForm").replaceKey("/CO", order);
    Add_Open_Script(pdf, extras.Open_Script);
}

namespace {

// The page's content marked as `elements` hold it, or nothing when the
// content does not match them (texts the structure does not place): rather
// an untagged form than one that reads out the wrong words, or no PDF at
// all.
std::optional<Marker> Marked_Content(QPDF &pdf, QPDFPageObjectHelper &page, const std::vector<Pdf_Element> &elements)
{
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
    if (marker.text_count != int(texts.size()) || marker.text_mcids.size() != texts.size() ||
        marker.picture_mcids.size() != pictures.size())
        return std::nullopt;
    const std::shared_ptr<Buffer> content = buffer.getBufferSharedPointer();
    Object stream = Object::newStream(&pdf);
    stream.replaceStreamData(std::string(reinterpret_cast<const char *>(content->getBuffer()), content->getSize()),
                             Object::newName("/FlateDecode"), Object::newNull());
    page.getObjectHandle().replaceKey("/Contents", stream);
    return marker;
}

// A field's element is a Form element reached through the role map in two
// steps (Field, Entry, Form), as tagged PDF allows: pdf.js, with which
// Firefox shows a PDF, takes one step of the map and gives each Form
// element the ARIA form role, which Orca enters and leaves aloud at every
// Tab ('leaving form.' 'form'). It reads Entry as a plain group and still
// names the field by the element's /Alt; readers that follow the map to its
// end, as tagged PDF asks, find a Form element. (Firefox still counts a
// landmark per field: see Widget() in pdf_form_module.cpp for why.)
constexpr const char *Field_Type = "/Field";
constexpr const char *Role_Map = "<< /Field /Entry /Entry /Form >>";

// The structure as it is made: its elements, and the parent tree's
// entries (the page's marked content by number, then each widget's, by
// key: a number tree is looked up by halving, so its keys go in order,
// whatever order the elements are read in).
struct Tree {
    Object Root, Page;
    std::vector<Object> Made, By_Mcid;
    std::map<int, Object> Widget_Parents;
};

// One element, with what it holds of the page's content and its field.
Object Element(QPDF &pdf, Tree &tree, const Pdf_Element &element, const Marker &marker,
               const std::vector<Object> &widgets)
{
    Object node = pdf.makeIndirectObject(Object::newDictionary());
    node.replaceKey("/Type", Object::newName("/StructElem"));
    node.replaceKey("/S", Object::newName(element.Type == "Form" ? Field_Type : ("/" + element.Type).toStdString()));
    node.replaceKey("/P", element.Parent < 0 ? tree.Root : tree.Made.at(std::size_t(element.Parent)));
    node.replaceKey("/Pg", tree.Page);
    // A field's element is named as the field is (its tooltip): screen
    // readers name a field by its element's alternative text, and without
    // it guess from the text around it.
    if (!element.Alt.isEmpty())
        node.replaceKey("/Alt", Text(element.Alt));
    else if (element.Field >= 0)
        node.replaceKey("/Alt", Object(widgets.at(std::size_t(element.Field))).getKey("/TU"));
    if (!element.Actual_Text.isEmpty())
        node.replaceKey("/ActualText", Text(element.Actual_Text));
    if (!element.Scope.isEmpty())
        node.replaceKey("/A", Object::parse(("<< /O /Table /Scope /" + element.Scope + " >>").toStdString()));
    Object kids = Object::newArray();
    node.replaceKey("/K", kids);
    const auto hold = [&](int mcid) {
        kids.appendItem(Object::newInteger(mcid));
        tree.By_Mcid[std::size_t(mcid)] = node;
    };
    for (const int text : element.Texts)
        hold(marker.text_mcids.at(text));
    for (const int picture : element.Pictures)
        hold(marker.picture_mcids.at(picture));
    if (element.Field >= 0) {
        Object widget = widgets.at(std::size_t(element.Field));
        const int key = 1 + element.Field;
        widget.replaceKey("/StructParent", Object::newInteger(key));
        kids.appendItem(Object::newDictionary(
            {{"/Type", Object::newName("/OBJR")}, {"/Obj", widget}, {"/Pg", tree.Page}}));
        tree.Widget_Parents.emplace(key, node);
    }
    return node;
}

// The parent tree: the page's marked content (key 0), then each widget.
Object Parent_Tree(QPDF &pdf, Tree &tree)
{
    Object on_page = Object::newArray();
    for (const Object &node : tree.By_Mcid)
        on_page.appendItem(node);
    Object all = Object::newArray({Object::newInteger(0), pdf.makeIndirectObject(on_page)});
    for (const auto &[key, node] : tree.Widget_Parents) {
        all.appendItem(Object::newInteger(key));
        all.appendItem(node);
    }
    return pdf.makeIndirectObject(Object::newDictionary({{"/Nums", all}}));
}

// The catalog's word that the document is tagged, in `language`, and
// named by its title.
void Mark_Tagged(QPDF &pdf, const Object &root, const QString &language)
{
    Object catalog = pdf.getRoot();
    catalog.replaceKey("/StructTreeRoot", root);
    catalog.replaceKey("/MarkInfo", Object::parse("<< /Marked true >>"));
    catalog.replaceKey("/Lang", Text(language));
    Object preferences = catalog.getKey("/ViewerPreferences");
    if (!preferences.isDictionary()) {
        preferences = Object::newDictionary();
        catalog.replaceKey("/ViewerPreferences", preferences);
    }
    preferences.replaceKey("/DisplayDocTitle", Object::newBool(true));
}

} // namespace

void Add_Structure(QPDF &pdf, const Pdf_Extras &extras, const std::vector<Object> &widgets)
{
    if (extras.Structure.empty())
        return;
    QPDFPageObjectHelper page = QPDFPageDocumentHelper(pdf).getAllPages().front();
    const std::optional<Marker> marker = Marked_Content(pdf, page, extras.Structure);
    if (!marker)
        return;
    Tree tree{pdf.makeIndirectObject(Object::parse(std::string("<< /Type /StructTreeRoot /K [] /RoleMap ") + Role_Map +
                                                   " >>")),
              page.getObjectHandle(),
              {}, std::vector<Object>(std::size_t(marker->mcid_count))};
    for (const Pdf_Element &element : extras.Structure) {
        tree.Made.push_back(Element(pdf, tree, element, *marker, widgets));
        tree.Made.back().getKey("/P").getKey("/K").appendItem(tree.Made.back());
    }
    tree.Root.replaceKey("/ParentTree", Parent_Tree(pdf, tree));
    tree.Root.replaceKey("/ParentTreeNextKey", Object::newInteger(1 + int(widgets.size())));
    tree.Page.replaceKey("/StructParents", Object::newInteger(0));
    tree.Page.replaceKey("/Tabs", Object::newName("/S"));
    Mark_Tagged(pdf, tree.Root, extras.Language);
}
