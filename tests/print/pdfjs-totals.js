// node pdfjs-totals.js FORM.pdf NAME=VALUE...: types each value into its
// field as Firefox does, its scripts run in pdf.js's sandbox (Debian's
// libjs-pdf), then prints every field that holds a value as "name=value",
// one a line.
const target = new EventTarget(); // the sandbox reports to a window's events
globalThis.window = globalThis;
globalThis.addEventListener = target.addEventListener.bind(target);
globalThis.dispatchEvent = target.dispatchEvent.bind(target);
const pdfjs = require("/usr/share/javascript/pdf/build/pdf.js");
const { QuickJSSandbox } = require("/usr/share/javascript/pdf/build/pdf.sandbox.js");
const fs = require("fs");
const [input, ...pairs] = process.argv.slice(2);
(async () => {
    const doc = await pdfjs.getDocument({data: new Uint8Array(fs.readFileSync(input))}).promise;
    const objects = await doc.getFieldObjects();
    const ids = {}, names = {}, values = {};
    for (const [name, fields] of Object.entries(objects))
        for (const field of fields)
            if (field.id)
                ids[name] = field.id, names[field.id] = name;
    addEventListener("updatefromsandbox", event => {
        if (names[event.detail.id] && "value" in event.detail)
            values[names[event.detail.id]] = event.detail.value;
    });
    const sandbox = await QuickJSSandbox();
    sandbox.create({objects, calculationOrder: await doc.getCalculationOrderIds(),
                    appInfo: {platform: "Linux", language: "en-US"}, docInfo: {actions: await doc.getJSActions()}});
    for (const pair of pairs) // a value typed, then Tab
        sandbox.dispatchEvent({id: ids[pair.slice(0, pair.indexOf("="))], name: "Keystroke",
                               value: pair.slice(pair.indexOf("=") + 1), willCommit: true, commitKey: 3});
    await new Promise(resolve => setTimeout(resolve, 100));
    for (const [name, value] of Object.entries(values))
        if (value !== "")
            console.log(name + "=" + value);
})().catch(error => { console.error(error); process.exit(1); });
