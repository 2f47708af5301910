// The debug adapter (emu6502 --dap) through the protocol's own test client:
// one scenario per capability, on the kit's C example examples/c_greet.c.
// EMU6502_BINARY names the program under test; run by scripts/test.sh.
'use strict';
const assert = require('assert');
const cp = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { DebugClient } = require('@vscode/debugadapter-testsupport');

const BINARY = process.env.EMU6502_BINARY || path.join(__dirname, '../../build/emu6502');
const EXAMPLES = path.join(__dirname, '../../examples');
const GREET_C = path.join(EXAMPLES, 'c_greet.c');

// c_greet.c's lines that the scenarios stop at.
const LINE_GETLINE = 20;   // length = emu_getline(name, sizeof name);
const LINE_TOUPPER = 26;   // name[0] = toupper(name[0]);
const LINE_PRINTF = 27;    // printf("Hello, %s! ...
const LINE_PUTCHAR = 30;   // putchar(name[i - 1]);
// NOP, NOP, JMP $0000
const NOPS = Buffer.from([0xEA, 0xEA, 0x4C, 0x00, 0x00]);

describe('emu6502 --dap', function () {
    let dc;
    let work;

    beforeEach(async () => {
        work = fs.mkdtempSync(path.join(os.tmpdir(), 'emu6502-dap-'));
        fs.writeFileSync(path.join(work, 'keys'), 'ada\n');
        dc = new DebugClient(BINARY, '--dap', 'emu6502', { cwd: work });
        await dc.start();
    });
    afterEach(async () => {
        await dc.stop();
        fs.rmSync(work, { recursive: true, force: true });
    });

    const greet = (extra = {}) => Object.assign({
        program: path.join(EXAMPLES, 'c_greet.bin'), cwd: work, keys: path.join(work, 'keys')
    }, extra);

    // Breakpoints on the given lines, then the run; resolves at the first stop.
    async function runTo(lines, args = greet()) {
        await Promise.all([
            dc.waitForEvent('initialized').then(() =>
                dc.setBreakpointsRequest({ source: { path: GREET_C }, breakpoints: lines.map(line => ({ line })) }))
                .then(() => dc.configurationDoneRequest()),
            dc.launch(args),
            dc.waitForEvent('stopped'),
        ]);
    }

    async function topFrame() {
        const trace = await dc.stackTraceRequest({ threadId: 1 });
        return trace.body.stackFrames;
    }

    async function local(name) {
        const frames = await topFrame();
        const scopes = await dc.scopesRequest({ frameId: frames[0].id });
        const locals = scopes.body.scopes.find(scope => scope.name === 'Locals');
        assert.ok(locals, 'a Locals scope');
        const variables = await dc.variablesRequest({ variablesReference: locals.variablesReference });
        const found = variables.body.variables.find(variable => variable.name === name);
        assert.ok(found, `the local ${name}`);
        return found.value;
    }

    it('stops at a breakpoint on a C line', async () => {
        await Promise.all([
            dc.hitBreakpoint(greet(), { path: GREET_C, line: LINE_TOUPPER }),
        ]);
    });

    it('steps over a line of C', async () => {
        await runTo([LINE_TOUPPER]);
        await Promise.all([dc.nextRequest({ threadId: 1 }), dc.assertStoppedLocation('step', { path: GREET_C, line: LINE_PRINTF })]);
    });

    it('steps into a call and out of it again', async () => {
        await runTo([LINE_GETLINE]);
        const before = (await topFrame()).length;
        await Promise.all([dc.stepInRequest({ threadId: 1 }), dc.waitForEvent('stopped')]);
        const inside = await topFrame();
        assert.strictEqual(inside.length, before + 1, 'one frame more inside the call');
        assert.notStrictEqual(inside[0].source && inside[0].source.path, GREET_C);
        await Promise.all([dc.stepOutRequest({ threadId: 1 }), dc.waitForEvent('stopped')]);
        const back = await topFrame();
        assert.strictEqual(back.length, before);
        assert.strictEqual(back[0].source.path, GREET_C);
    });

    it('shows a local changing between two stops', async () => {
        await runTo([LINE_PUTCHAR]);
        assert.match(await local('i'), /^3\b/);
        await Promise.all([dc.continueRequest({ threadId: 1 }), dc.assertStoppedLocation('breakpoint', { path: GREET_C, line: LINE_PUTCHAR })]);
        assert.match(await local('i'), /^2\b/);
    });

    it('steps back a line and runs back to the last breakpoint, in a deterministic launch', async () => {
        await runTo([LINE_PUTCHAR], greet({ deterministic: true }));
        assert.match(await local('i'), /^3\b/);
        await Promise.all([dc.continueRequest({ threadId: 1 }), dc.assertStoppedLocation('breakpoint', { path: GREET_C, line: LINE_PUTCHAR })]);
        assert.match(await local('i'), /^2\b/);
        const [, back] = await Promise.all([dc.stepBackRequest({ threadId: 1 }), dc.waitForEvent('stopped')]);
        assert.strictEqual(back.body.reason, 'step');
        assert.notStrictEqual((await topFrame())[0].line, LINE_PUTCHAR, 'the line before');
        await Promise.all([dc.reverseContinueRequest({ threadId: 1 }),
            dc.assertStoppedLocation('breakpoint', { path: GREET_C, line: LINE_PUTCHAR })]);
        assert.match(await local('i'), /^3\b/, 'the first time round, as it was');
    });

    it('refuses to step back in a launch that is not deterministic', async () => {
        await runTo([LINE_TOUPPER]);
        await assert.rejects(dc.stepBackRequest({ threadId: 1 }), /deterministic/);
    });

    it('steps over an assembly line that pushes a byte, to the next line', async () => {
        const NOTES_S = path.join(EXAMPLES, 'notes.s');
        fs.writeFileSync(path.join(work, 'keys'), 'milk\nq\n');
        await Promise.all([
            dc.waitForEvent('initialized').then(() =>
                dc.setBreakpointsRequest({ source: { path: NOTES_S }, breakpoints: [{ line: 202 }] }))  // pha
                .then(() => dc.configurationDoneRequest()),
            dc.launch(greet({ program: path.join(EXAMPLES, 'notes.bin') })),
            dc.assertStoppedLocation('breakpoint', { path: NOTES_S, line: 202 }),
        ]);
        await Promise.all([dc.nextRequest({ threadId: 1 }), dc.assertStoppedLocation('step', { path: NOTES_S, line: 203 })]);
        await Promise.all([dc.nextRequest({ threadId: 1 }), dc.assertStoppedLocation('step', { path: NOTES_S, line: 204 })]);
        await Promise.all([dc.nextRequest({ threadId: 1 }), dc.assertStoppedLocation('step', { path: NOTES_S, line: 205 })]);
    });

    it('stops where a global is written (data breakpoint)', async () => {
        await runTo([LINE_GETLINE]);
        const info = await dc.dataBreakpointInfoRequest({ name: 'name' });
        assert.ok(info.body.dataId, 'the global can be watched');
        await dc.setDataBreakpointsRequest({ breakpoints: [{ dataId: info.body.dataId, accessType: 'write' }] });
        const [, stopped] = await Promise.all([dc.continueRequest({ threadId: 1 }), dc.waitForEvent('stopped')]);
        assert.strictEqual(stopped.body.reason, 'data breakpoint');
    });

    // The C view, on the struct example: c_store.c's string routine and pointer walk.
    const STORE_C = path.join(EXAMPLES, 'c_store.c');
    const LINE_COPY = 31;   // dst[i] = src[i];
    const LINE_TOTAL = 43;  // total += (unsigned long)p->qty * p->price;
    async function storeTo(line, condition) {
        await Promise.all([
            dc.waitForEvent('initialized').then(() => dc.setBreakpointsRequest({
                source: { path: STORE_C }, breakpoints: [Object.assign({ line }, condition ? { condition } : {})] }))
                .then(() => dc.configurationDoneRequest()),
            dc.launch({ program: path.join(EXAMPLES, 'c_store.bin'), cwd: work }),
            dc.assertStoppedLocation('breakpoint', { path: STORE_C, line }),
        ]);
    }
    async function scopeVariables(frameId, name) {
        const scopes = await dc.scopesRequest({ frameId });
        const scope = scopes.body.scopes.find(s => s.name === name);
        assert.ok(scope, `a ${name} scope in frame ${frameId}`);
        return (await dc.variablesRequest({ variablesReference: scope.variablesReference })).body.variables;
    }

    it('expands a struct to its fields, and a pointer to what it points at', async () => {
        await storeTo(LINE_TOTAL);
        const frames = await topFrame();
        const globals = await scopeVariables(frames[0].id, 'Globals');
        const items = globals.find(v => v.name === 'items');
        assert.ok(items.variablesReference > 0, 'the array has children');
        const elements = (await dc.variablesRequest({ variablesReference: items.variablesReference })).body.variables;
        assert.deepStrictEqual(elements.map(v => v.name), ['[0]', '[1]', '[2]']);
        assert.strictEqual(elements[1].value, '{name = "nut", qty = 12, price = 40}');
        const fields = (await dc.variablesRequest({ variablesReference: elements[1].variablesReference })).body.variables;
        assert.deepStrictEqual(fields.map(v => [v.name, v.value]), [['name', '"nut"'], ['qty', '12'], ['price', '40']]);
        const locals = await scopeVariables(frames[0].id, 'Locals');
        const p = locals.find(v => v.name === 'p');
        assert.match(p.value, /^\(struct item \*\) 0x/);
        const pointed = (await dc.variablesRequest({ variablesReference: p.variablesReference })).body.variables;
        assert.deepStrictEqual(pointed.map(v => v.name), ['name', 'qty', 'price']);
        assert.strictEqual(pointed[0].value, '"bolt"');
    });

    it('shows an outer frame\'s locals, and evaluates C in the frame asked for', async () => {
        await storeTo(LINE_COPY, 'i == 2');
        const frames = await topFrame();
        assert.strictEqual(frames[1].name, 'main');
        const inner = await scopeVariables(frames[0].id, 'Locals');
        assert.strictEqual(inner.find(v => v.name === 'i').value, '2');
        assert.strictEqual(inner.find(v => v.name === 'src').value.replace(/^0x[0-9a-f]+ /, ''), '"bolt"');
        const outer = await scopeVariables(frames[1].id, 'Locals');
        assert.deepStrictEqual(outer.map(v => [v.name, v.value]), [['n', '0']]);
        const sum = await dc.evaluateRequest({ expression: 'i + 1', frameId: frames[0].id, context: 'watch' });
        assert.strictEqual(sum.body.result, '3', 'the C local, not the flag');
        const item = await dc.evaluateRequest({ expression: 'items[n]', frameId: frames[1].id, context: 'hover' });
        assert.strictEqual(item.body.result, '{name = "bolt", qty = 3, price = 250}');
        assert.ok(item.body.variablesReference > 0);
        await assert.rejects(dc.evaluateRequest({ expression: 'src[i] / 0', frameId: frames[0].id, context: 'watch' }),
                             /division by zero/);
    });

    it('sets a C variable and a C expression', async () => {
        await storeTo(LINE_COPY, 'i == 2');
        const frames = await topFrame();
        const scopes = await dc.scopesRequest({ frameId: frames[0].id });
        const locals = scopes.body.scopes.find(s => s.name === 'Locals');
        const set = await dc.setVariableRequest({ variablesReference: locals.variablesReference, name: 'i', value: '3' });
        assert.strictEqual(set.body.value, '3');
        const expression = await dc.customRequest('setExpression',
            { expression: 'items[1].qty', value: 'items[1].qty * 2', frameId: frames[0].id });
        assert.strictEqual(expression.body.value, '24');
        const check = await dc.evaluateRequest({ expression: 'items[1].qty + i', frameId: frames[0].id, context: 'watch' });
        assert.strictEqual(check.body.result, '27');
    });

    it('reports the exit status at the end and the program\'s output', async () => {
        let output = '';
        dc.on('output', event => { if (event.body.category === 'stdout') output += event.body.output; });
        const exited = dc.waitForEvent('exited');
        const terminated = dc.waitForEvent('terminated');
        await Promise.all([dc.configurationSequence(), dc.launch(greet())]);
        assert.strictEqual((await exited).body.exitCode, 0);
        await terminated;
        assert.match(output, /Hello, Ada! Your name has 3 characters\.\r?\nBackwards: adA/);
    });

    it('stops at a C function by name (function breakpoint)', async () => {
        await Promise.all([
            dc.waitForEvent('initialized').then(() => dc.setFunctionBreakpointsRequest({ breakpoints: [{ name: 'main' }] }))
                .then(() => dc.configurationDoneRequest()),
            dc.launch(greet()),
            dc.assertStoppedLocation('function breakpoint', { path: GREET_C }),
        ]);
    });

    it('stops on a condition and a hit count only', async () => {
        await Promise.all([
            dc.waitForEvent('initialized').then(() => dc.setBreakpointsRequest({
                source: { path: GREET_C }, breakpoints: [{ line: LINE_PUTCHAR, hitCondition: '3' }] }))
                .then(() => dc.configurationDoneRequest()),
            dc.launch(greet()),
            dc.waitForEvent('stopped'),
        ]);
        assert.match(await local('i'), /^1\b/);
    });

    it('stops on entry, shows registers, memory and disassembly at pc', async () => {
        await Promise.all([dc.configurationSequence(), dc.launch(greet({ stopOnEntry: true })),
                           dc.waitForEvent('stopped').then(event => assert.strictEqual(event.body.reason, 'entry'))]);
        const frames = await topFrame();
        const pc = frames[0].instructionPointerReference;
        assert.strictEqual(pc, '0x0200');
        const scopes = await dc.scopesRequest({ frameId: frames[0].id });
        const registers = scopes.body.scopes.find(scope => scope.name === 'Registers');
        const values = (await dc.variablesRequest({ variablesReference: registers.variablesReference })).body.variables;
        assert.strictEqual(values.find(v => v.name === 'PC').value, '$0200');
        const memory = await dc.customRequest('readMemory', { memoryReference: pc, count: 3 });
        const first = Buffer.from(memory.body.data, 'base64');
        const code = await dc.customRequest('disassemble', { memoryReference: pc, instructionCount: 1 });
        assert.strictEqual(code.body.instructions[0].address, '0x0200');
        assert.strictEqual(code.body.instructions[0].instructionBytes.split(' ')[0],
                           first[0].toString(16).toUpperCase().padStart(2, '0'));
        const sum = await dc.evaluateRequest({ expression: '$100 + #16', context: 'repl' });
        assert.match(sum.body.result, /^\$0110/);
        await assert.rejects(dc.evaluateRequest({ expression: '1/0', context: 'repl' }), /division by zero/);
    });

    it('stops at an instruction breakpoint in a program without debug information', async () => {
        const image = path.join(work, 'nops.bin');
        fs.writeFileSync(image, Buffer.from([0xEA, 0xEA, 0x4C, 0x00, 0x00]));  // NOP, NOP, JMP $0000
        const exited = dc.waitForEvent('exited');
        const [, , stopped] = await Promise.all([
            dc.waitForEvent('initialized').then(() => dc.customRequest('setInstructionBreakpoints', {
                breakpoints: [{ instructionReference: '0x0201' }] })).then(() => dc.configurationDoneRequest()),
            dc.launch({ program: image, cwd: work }),
            dc.waitForEvent('stopped'),
        ]);
        assert.strictEqual(stopped.body.reason, 'instruction breakpoint');
        assert.strictEqual((await topFrame())[0].instructionPointerReference, '0x0201');
        await dc.continueRequest({ threadId: 1 });
        assert.strictEqual((await exited).body.exitCode, 0);
    });

    // The client's disconnect (after each scenario) ends it while it runs.
    it('pauses a program that runs forever', async () => {
        fs.writeFileSync(path.join(work, 'keys'), '');
        const endless = path.join(work, 'wait.bin');
        fs.writeFileSync(endless, Buffer.from([0x4C, 0x00, 0x02]));  // JMP $0200, forever
        await Promise.all([dc.configurationSequence(), dc.launch({ program: endless, cwd: work })]);
        const [, stopped] = await Promise.all([dc.pauseRequest({ threadId: 1 }), dc.waitForEvent('stopped')]);
        assert.strictEqual(stopped.body.reason, 'pause');
        assert.strictEqual((await topFrame())[0].instructionPointerReference, '0x0200');
        await dc.continueRequest({ threadId: 1 });
    });

    it('says a logpoint\'s message with the values in it, and does not stop there', async () => {
        let said = '';
        let stops = 0;
        dc.on('output', event => { if (event.body.category === 'console') said += event.body.output; });
        dc.on('stopped', () => { ++stops; });
        const exited = dc.waitForEvent('exited');
        await Promise.all([
            dc.waitForEvent('initialized').then(() => dc.setBreakpointsRequest({
                source: { path: GREET_C }, breakpoints: [{ line: LINE_PUTCHAR, logMessage: 'i is {i}, x is {x}' }] }))
                .then(() => dc.configurationDoneRequest()),
            dc.launch(greet()),
        ]);
        assert.strictEqual((await exited).body.exitCode, 0);
        assert.strictEqual(stops, 0);
        assert.match(said, /^i is 3\b.*, x is \$[0-9A-F]{2}\ni is 2\b.*\ni is 1\b/);
    });

    it('sets the next statement: the line that upper-cases the name is skipped', async () => {
        let output = '';
        dc.on('output', event => { if (event.body.category === 'stdout') output += event.body.output; });
        await runTo([LINE_TOUPPER]);
        const targets = await dc.customRequest('gotoTargets', { source: { path: GREET_C }, line: LINE_PRINTF });
        const target = targets.body.targets[0];
        assert.strictEqual(target.line, LINE_PRINTF);
        const [, stopped] = await Promise.all([dc.customRequest('goto', { threadId: 1, targetId: target.id }),
                                               dc.waitForEvent('stopped')]);
        assert.strictEqual(stopped.body.reason, 'goto');
        assert.strictEqual((await topFrame())[0].line, LINE_PRINTF);
        const exited = dc.waitForEvent('exited');
        await dc.continueRequest({ threadId: 1 });
        await exited;
        assert.match(output, /Hello, ada!/);
    });

    it('sends the output of a stepped-over printf before the stop after it', async () => {
        const events = [];
        dc.on('output', event => { if (event.body.category === 'stdout') events.push(event.body.output); });
        await runTo([LINE_PRINTF]);
        dc.on('stopped', () => events.push('<stopped>'));
        await Promise.all([dc.nextRequest({ threadId: 1 }), dc.waitForEvent('stopped')]);
        const said = events.join('');
        assert.match(said, /Hello, Ada! Your name has 3 characters\.\r?\n<stopped>$/);
    });

    it('restarts a deterministic launch from its start, through the kept past', async () => {
        let output = '';
        dc.on('output', event => { if (event.body.category === 'stdout') output += event.body.output; });
        await runTo([LINE_PUTCHAR], greet({ deterministic: true }));
        await Promise.all([dc.continueRequest({ threadId: 1 }), dc.assertStoppedLocation('breakpoint', { path: GREET_C, line: LINE_PUTCHAR })]);
        assert.match(await local('i'), /^2\b/);
        await Promise.all([dc.customRequest('restart', {}), dc.assertStoppedLocation('breakpoint', { path: GREET_C, line: LINE_PUTCHAR })]);
        assert.match(await local('i'), /^3\b/, 'the first time round again');
        assert.strictEqual(output.split('What is your name?').length - 1, 2, 'the output of the run again');
    });

    it('refuses a restart in a launch that is not deterministic', async () => {
        await runTo([LINE_TOUPPER]);
        await assert.rejects(dc.customRequest('restart', {}), /deterministic/);
    });

    it('runs monitor commands in the Debug Console, completes them and lists the sources', async () => {
        await runTo([LINE_TOUPPER]);
        const dump = await dc.evaluateRequest({ expression: 'm 200 207', context: 'repl' });
        assert.match(dump.body.result, /^0200 ( [0-9A-F]{2}){8}/);
        const refused = await dc.evaluateRequest({ expression: 'c', context: 'repl' });
        assert.match(refused.body.result, /^\$0|not in the debug console/);
        const step = await dc.evaluateRequest({ expression: 's 2', context: 'repl' });
        assert.match(step.body.result, /not in the debug console/);
        const words = await dc.customRequest('completions', { text: 'dis', column: 4 });
        assert.ok(words.body.targets.some(target => target.label === 'disable'));
        const names = await dc.customRequest('completions', { text: '? na', column: 5 });
        assert.ok(names.body.targets.some(target => target.label === 'name'));
        const sources = await dc.customRequest('loadedSources', {});
        assert.ok(sources.body.sources.some(source => source.path === GREET_C));
    });

    it('steps over a call to a routine that pulls its return address, to where it returns', async () => {
        // 0200: JSR print; "HI",0; LDX #7; JMP 0. print pulls the address of
        // the string, calls putc for each character, pushes the address
        // past it and returns there.
        const image = Buffer.alloc(0x34);
        Buffer.from([0x20, 0x10, 0x02, 0x48, 0x49, 0x00, 0xA2, 0x07, 0x4C, 0x00, 0x00]).copy(image, 0);
        Buffer.from([0x68, 0x85, 0x10, 0x68, 0x85, 0x11, 0xE6, 0x10, 0xD0, 0x02, 0xE6, 0x11, 0xA0, 0x00, 0xB1, 0x10,
                     0xF0, 0x06, 0x20, 0x30, 0x02, 0x4C, 0x16, 0x02, 0xA5, 0x11, 0x48, 0xA5, 0x10, 0x48, 0x60]).copy(image, 0x10);
        Buffer.from([0x8D, 0x01, 0xFF, 0x60]).copy(image, 0x30);
        const program = path.join(work, 'pull.bin');
        fs.writeFileSync(program, image);
        await Promise.all([dc.configurationSequence(), dc.launch({ program, cwd: work, stopOnEntry: true }),
                           dc.waitForEvent('stopped')]);
        await Promise.all([dc.nextRequest({ threadId: 1, granularity: 'instruction' }), dc.waitForEvent('stopped')]);
        assert.strictEqual((await topFrame())[0].instructionPointerReference, '0x0206');
    });

    // LDA $0300, which nothing wrote; JMP $0000
    const UNWRITTEN_READ = Buffer.from([0xAD, 0x00, 0x03, 0x4C, 0x00, 0x00]);
    const CHECK_FILTERS = ['uninitialised-read', 'protected-write', 'execute', 'return', 'stack-wrap', 'c-stack',
                           'undocumented'];

    it('offers each check as an exception filter, off at first, and stops at a fault when its filter is on', async () => {
        const program = path.join(work, 'unwritten.bin');
        fs.writeFileSync(program, UNWRITTEN_READ);
        const initialized = await dc.initializeRequest();
        const filters = initialized.body.exceptionBreakpointFilters;
        assert.deepStrictEqual(filters.map(filter => filter.filter), CHECK_FILTERS);
        assert.ok(filters.every(filter => filter.default === false && filter.label), 'each with a label, off');
        const [, , stopped] = await Promise.all([
            dc.waitForEvent('initialized').then(async () => {
                const answer = await dc.setExceptionBreakpointsRequest({ filters: ['uninitialised-read'] });
                assert.deepStrictEqual(answer.body.breakpoints, [{ verified: true }]);
                await dc.configurationDoneRequest();
            }),
            dc.launchRequest({ program, cwd: work }),
            dc.waitForEvent('stopped'),
        ]);
        assert.strictEqual(stopped.body.reason, 'exception');
        assert.match(stopped.body.text, /^check: uninitialised-read at \$0200 LDA \$0300: reads \$0300/);
        // Stopped once the instruction ran, as the monitor stops (a step back reaches it).
        assert.strictEqual((await topFrame())[0].instructionPointerReference, '0x0203');
    });

    it('runs through the same fault with the filters off', async () => {
        const program = path.join(work, 'unwritten.bin');
        fs.writeFileSync(program, UNWRITTEN_READ);
        let stops = 0;
        dc.on('stopped', () => { stops += 1; });
        const exited = dc.waitForEvent('exited');
        await Promise.all([
            dc.waitForEvent('initialized').then(() => dc.setExceptionBreakpointsRequest({ filters: [] }))
                .then(() => dc.configurationDoneRequest()),
            dc.launch({ program, cwd: work }),
        ]);
        assert.strictEqual((await exited).body.exitCode, 0);
        assert.strictEqual(stops, 0);
    });

    it('refuses a launch without a program image', async () => {
        await dc.initializeRequest();
        await assert.rejects(dc.launchRequest({ cwd: work, program: path.join(work, 'missing.bin') }));
    });

    // Names short enough to live inside their string object, which moves.
    for (const name of ['hi.bin', './././lives.bin']) {
        it(`runs a program named by a short path (${name})`, async () => {
            fs.writeFileSync(path.join(work, path.basename(name)), NOPS);
            const exited = dc.waitForEvent('exited');
            await Promise.all([dc.configurationSequence(), dc.launch({ program: name, cwd: work })]);
            assert.strictEqual((await exited).body.exitCode, 0);
        });
    }

    for (const [what, extra, reason] of [['a folder that is not there', { cwd: '/nonexistent/folder' }, /can't use folder/],
                                         ['a keys file that is not there', { keys: 'no-such-keys' }, /no-such-keys/]]) {
        it(`refuses a launch with ${what}, and ends with the terminated event`, async () => {
            fs.writeFileSync(path.join(work, 'hi.bin'), NOPS);
            const terminated = dc.waitForEvent('terminated');
            await dc.initializeRequest();
            await assert.rejects(dc.launchRequest(Object.assign({ program: path.join(work, 'hi.bin'), cwd: work }, extra)),
                                 reason);
            await terminated;
        });
    }

    it('answers a launch whose debug information is a FIFO, without it', async () => {
        fs.writeFileSync(path.join(work, 'hi.bin'), NOPS);
        cp.execFileSync('mkfifo', [path.join(work, 'hi.dbg')]);
        const exited = dc.waitForEvent('exited');
        await Promise.all([dc.configurationSequence(),
                           dc.launch({ program: path.join(work, 'hi.bin'), cwd: work, debugInfo: path.join(work, 'hi.dbg') })]);
        assert.strictEqual((await exited).body.exitCode, 0);
    });

    it('refuses a breakpoint condition that does not parse, with the reason, for every kind of breakpoint', async () => {
        let answers = [];
        await Promise.all([
            dc.waitForEvent('initialized').then(async () => {
                const source = await dc.setBreakpointsRequest({ source: { path: GREET_C },
                    breakpoints: [{ line: LINE_TOUPPER, condition: '((((' }, { line: LINE_PRINTF, condition: 'a == a' }] });
                assert.strictEqual(source.body.breakpoints[1].verified, true);
                const functions = await dc.setFunctionBreakpointsRequest({ breakpoints: [{ name: 'main', condition: 'count==3' }] });
                const instructions = await dc.customRequest('setInstructionBreakpoints', {
                    breakpoints: [{ instructionReference: '0x0200', condition: '((((' }] });
                answers = [source.body.breakpoints[0], functions.body.breakpoints[0], instructions.body.breakpoints[0]];
            }).then(() => dc.configurationDoneRequest()),
            dc.launch(greet()),
            dc.assertStoppedLocation('breakpoint', { path: GREET_C, line: LINE_PRINTF }),
        ]);
        for (const answer of answers) {
            assert.strictEqual(answer.verified, false);
            assert.match(answer.message, /^bad condition '(\(\(\(\(|count==3)': /);
        }
        const info = await dc.dataBreakpointInfoRequest({ name: 'name' });
        const data = await dc.setDataBreakpointsRequest({ breakpoints: [{ dataId: info.body.dataId, accessType: 'write',
                                                                          condition: '((((' }] });
        assert.strictEqual(data.body.breakpoints[0].verified, false);
        assert.match(data.body.breakpoints[0].message, /^bad condition '\(\(\(\(': /);
    });

    it('stops at a data breakpoint only when its condition holds', async () => {
        await runTo([LINE_GETLINE]);
        const info = await dc.dataBreakpointInfoRequest({ name: 'name' });
        const set = await dc.setDataBreakpointsRequest({ breakpoints: [{ dataId: info.body.dataId, accessType: 'write',
                                                                         condition: '0' }] });
        assert.strictEqual(set.body.breakpoints[0].verified, true);
        const exited = dc.waitForEvent('exited');
        await dc.continueRequest({ threadId: 1 });
        assert.strictEqual((await exited).body.exitCode, 0);
    });

    it('refuses to read a negative count of bytes', async () => {
        await Promise.all([dc.configurationSequence(), dc.launch(greet({ stopOnEntry: true })), dc.waitForEvent('stopped')]);
        await assert.rejects(dc.customRequest('readMemory', { memoryReference: '0x0200', count: -5 }), /count/);
    });

    // A step back by instruction stops at the last data file write: the
    // file is written once.
    it('steps back no further than the last data file write', async () => {
        // LDA #'A'; STA FILE_WRITE; LDA #'B'; STA FILE_WRITE; LDA FILE_SELECT; JMP $0000
        const image = path.join(work, 'ab.bin');
        fs.writeFileSync(image, Buffer.from([0xA9, 0x41, 0x8D, 0x0B, 0xFF, 0xA9, 0x42, 0x8D, 0x0B, 0xFF,
                                             0xAD, 0x0C, 0xFF, 0x4C, 0x00, 0x00]));
        await Promise.all([dc.configurationSequence(),
                           dc.launch({ program: image, cwd: work, deterministic: true, stopOnEntry: true }),
                           dc.waitForEvent('stopped')]);
        for (let i = 0; i < 4; ++i) {
            await Promise.all([dc.nextRequest({ threadId: 1, granularity: 'instruction' }), dc.waitForEvent('stopped')]);
        }
        await assert.rejects(dc.stepBackRequest({ threadId: 1, granularity: 'instruction' }),
                             /no step back reaches before instruction count 4/);
        const exited = dc.waitForEvent('exited');
        await dc.continueRequest({ threadId: 1 });
        assert.strictEqual((await exited).body.exitCode, 0);
        assert.strictEqual(fs.readFileSync(path.join(work, 'file0'), 'latin1'), 'AB');
    });
});

describe('emu6502 --dap on bad input', function () {
    function exchange(input) {
        return cp.spawnSync(BINARY, ['--dap'], { input, timeout: 10000 });
    }
    const frame = text => `Content-Length: ${Buffer.byteLength(text)}\r\n\r\n${text}`;

    it('answers a message that is not JSON with an error response and goes on', () => {
        const run = exchange(frame('{"seq":1,') + frame('{"seq":2,"type":"request","command":"initialize","arguments":{}}'));
        const text = run.stdout.toString();
        assert.match(text, /"success":false/);
        assert.match(text, /"command":"initialize","request_seq":2|"request_seq":2/);
        assert.strictEqual(run.status, 0);
    });

    it('ends cleanly when its input closes', () => {
        const run = exchange('');
        assert.strictEqual(run.status, 0);
        assert.strictEqual(run.error, undefined);
    });

    it('refuses a message longer than it takes, and ends without reading on', async () => {
        const adapter = cp.spawn(BINARY, ['--dap']);
        let text = '';
        adapter.stdout.on('data', data => { text += data; });
        // The input stays open: the adapter ends by itself, or is ended here.
        const killer = setTimeout(() => adapter.kill(), 10000);
        adapter.stdin.write('Content-Length: 99999999999\r\n\r\n' +
                            frame('{"seq":2,"type":"request","command":"initialize","arguments":{}}'));
        const [status] = await Promise.all([new Promise(resolve => adapter.on('exit', resolve)),
                                            new Promise(resolve => adapter.stdout.on('end', resolve))]);
        clearTimeout(killer);
        adapter.stdin.destroy();
        assert.strictEqual(status, 0, 'ended by itself');
        assert.match(text, /longer than 16 MiB/);
        assert.doesNotMatch(text, /"request_seq":2/);
    });

    it('refuses a header without a length', () => {
        const run = exchange('Content-Type: text\r\n\r\n' + frame('{"seq":2,"type":"request","command":"disconnect"}'));
        assert.match(run.stdout.toString(), /no Content-Length/);
        assert.strictEqual(run.status, 0);
    });
});
