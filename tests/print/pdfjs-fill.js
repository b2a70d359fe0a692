// node pdfjs-fill.js in.pdf out.pdf "name=value"...: sets each field's value
// through pdf.js (Debian's libjs-pdf), as Firefox does, and saves.
const pdfjs = require("/usr/share/javascript/pdf/build/pdf.js");
const fs = require("fs");
const [input, output, ...pairs] = process.argv.slice(2);
const values = new Map(pairs.map(pair => [pair.slice(0, pair.indexOf("=")), pair.slice(pair.indexOf("=") + 1)]));
(async () => {
    const doc = await pdfjs.getDocument({data: new Uint8Array(fs.readFileSync(input))}).promise;
    for (const annotation of await (await doc.getPage(1)).getAnnotations())
        if (values.has(annotation.fieldName))
            doc.annotationStorage.setValue(annotation.id, {value: values.get(annotation.fieldName)});
    fs.writeFileSync(output, await doc.saveDocument());
})().catch(error => { console.error(error); process.exit(1); });
