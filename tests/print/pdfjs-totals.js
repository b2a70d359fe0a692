// node pdfjs-totals.js FORM.pdf NAME=VALUE...: opens the form as Firefox
// does, its scripts run in pdf.js's sandbox (Debian's libjs-pdf), then types
// each value into its field (as pasted over what it held) and leaves it
// with Tab. Prints a line when the form is open and after each value, as
// mutool-totals.js does. With --unchanged first, it fails instead when the
// opening sets any field: Firefox then counts the form as changed. The sandbox answers every event before
// dispatchEvent returns.
// Debian 12's Node.js (18) has Event and EventTarget but no CustomEvent,
// which the sandbox makes its reports with.
globalThis.CustomEvent ??= class CustomEvent extends Event {
    constructor(type, options = {}) {
        super(type, options);
        this.detail = options.detail ?? null;
    }
};
// The sandbox says what goes wrong in a script, or in its own glue, on the
// console and carries on: any such word fails the run, with the word.
const errors = [];
console.error = (...words) => errors.push(require("util").format(...words));
const target = new EventTarget(); // the sandbox reports to a window's events
globalThis.window = globalThis;
globalThis.addEventListener = target.addEventListener.bind(target);
globalThis.dispatchEvent = target.dispatchEvent.bind(target);
let said = [];
globalThis.alert = message => said.push("alert=" + message);
const pdfjs = require("/usr/share/javascript/pdf/build/pdf.js");
const { QuickJSSandbox } = require("/usr/share/javascript/pdf/build/pdf.sandbox.js");
const fs = require("fs");
const unchanged = process.argv[2] === "--unchanged";
const [input, ...pairs] = process.argv.slice(unchanged ? 3 : 2);
const setOnOpen = [];
(async () => {
    const doc = await pdfjs.getDocument({data: new Uint8Array(fs.readFileSync(input))}).promise;
    const objects = await doc.getFieldObjects();
    const ids = {}, names = {}, values = {};
    for (const [name, fields] of Object.entries(objects))
        for (const field of fields)
            if (field.id)
                ids[name] = field.id, names[field.id] = name, values[name] = field.value || "";
    addEventListener("updatefromsandbox", event => {
        if (event.detail.command === "error")
            errors.push(event.detail.value);
        if (names[event.detail.id] && "value" in event.detail)
            values[names[event.detail.id]] = event.detail.value, setOnOpen.push(names[event.detail.id]);
    });
    const report = () => {
        const filled = Object.keys(values).filter(name => values[name] !== "").sort();
        console.log(said.concat(filled.map(name => name + "=" + values[name])).join("\t") + "\t");
        said = [];
    };
    const sandbox = await QuickJSSandbox();
    sandbox.create({objects, calculationOrder: await doc.getCalculationOrderIds(),
                    appInfo: {platform: "Linux", language: "en-US"}, docInfo: {actions: await doc.getJSActions()}});
    sandbox.dispatchEvent({id: "doc", name: "Open"});
    if (unchanged && setOnOpen.length)
        errors.push("the opening set " + setOnOpen.join(" "));
    report();
    for (const pair of pairs) {
        const name = pair.slice(0, pair.indexOf("=")), id = ids[name], held = values[name];
        sandbox.dispatchEvent({id, name: "Focus", value: held});
        sandbox.dispatchEvent({id, name: "Keystroke", value: held, change: pair.slice(name.length + 1),
                               selStart: 0, selEnd: held.length, willCommit: false});
        if (values[name] !== held) // as Firefox leaves a field: committed only once changed
            sandbox.dispatchEvent({id, name: "Keystroke", value: values[name], willCommit: true, commitKey: 3});
        report();
    }
    if (errors.length)
        throw new Error("the sandbox said: " + errors.join("\n"));
})().catch(error => { process.stderr.write(String(error.stack || error) + "\n"); process.exit(1); });
