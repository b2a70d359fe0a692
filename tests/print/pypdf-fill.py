# python3 pypdf-fill.py in.pdf out.pdf name=value...: sets each field's
# value with pypdf (Debian's python3-pypdf) as a program without form
# scripts does: the value alone, no appearance, no total worked out.
import sys

from pypdf import PdfReader, PdfWriter
from pypdf.generic import NameObject, TextStringObject


def name(field):
    parent = field.get("/Parent")
    return (name(parent.get_object()) + "." if parent else "") + field.get("/T", "")


writer = PdfWriter()
writer.clone_reader_document_root(PdfReader(sys.argv[1]))
values = dict(pair.split("=", 1) for pair in sys.argv[3:])
for annotation in writer.pages[0]["/Annots"]:
    field = annotation.get_object()
    if name(field) in values:
        field[NameObject("/V")] = TextStringObject(values[name(field)])
with open(sys.argv[2], "wb") as out:
    writer.write(out)
