// Firefox for tests/test_page.py: Debian's firefox-esr through puppeteer-core
// over WebDriver BiDi. One JSON command a line on standard input, one JSON
// answer ({value} or {error}) a line on standard output.
"use strict";
const puppeteer = require("puppeteer-core");
const readline = require("readline");

async function main() {
    const browser = await puppeteer.launch({ browser: "firefox", protocol: "webDriverBiDi", headless: true,
        executablePath: process.env.FIREFOX || "/usr/bin/firefox-esr", defaultViewport: { width: 1000, height: 1300 } });
    const page = await browser.newPage();
    const element = (command) => page.evaluateHandle((selector, index) => document.querySelectorAll(selector)[index],
        command.selector, command.index);
    // A script as Selenium runs one: its arguments in `arguments`, and when
    // waited for, a callback last that gives the value.
    const run = (source, args, wait) => new Promise((resolve) => {
        const value = new Function(source)(...args, resolve);
        if (!wait) {
            resolve(value);
        }
    });
    const operations = {
        open: (command) => page.goto(command.url),
        script: (command) => page.evaluate(run, command.source, command.args, Boolean(command.wait)),
        upload: async (command) => (await element(command)).uploadFile(...command.keys),
        type: async (command) => (await element(command)).type(command.keys.join("\n")),
        click: async (command) => (await element(command)).click(),
        viewport: (command) => page.setViewport({ width: command.width, height: command.height }),
        screenshot: (command) => page.screenshot({ path: command.path }),
        quit: () => browser.close(),
    };
    for await (const line of readline.createInterface({ input: process.stdin })) {
        const command = JSON.parse(line);
        let answer;
        try {
            const value = await operations[command.op](command);
            answer = { value: value === undefined || typeof value === "object" && value !== null &&
                !Array.isArray(value) && value.constructor !== Object ? null : value };
        } catch (error) {
            answer = { error: String(error.stack || error) };
        }
        process.stdout.write(JSON.stringify(answer) + "\n");
        if (command.op === "quit") {
            break;
        }
    }
}

main().catch((error) => {
    console.error(error);
    process.exit(1);
});
