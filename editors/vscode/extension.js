// Starts `emu6502 --dap` as the debug adapter of the "emu6502" debug type.
const vscode = require('vscode');

function activate(context) {
    context.subscriptions.push(vscode.debug.registerDebugAdapterDescriptorFactory('emu6502', {
        createDebugAdapterDescriptor() {
            const path = vscode.workspace.getConfiguration('emu6502').get('path') || 'emu6502';
            return new vscode.DebugAdapterExecutable(path, ['--dap']);
        }
    }));
}

function deactivate() {}

module.exports = { activate, deactivate };
