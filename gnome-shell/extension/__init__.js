/* exported init */
/*
 * GNOME Shell 43 and 44 load an extension as a script, through an importer
 * that takes a folder named "extension" before extension.js, the module that
 * 45 and later load. The service itself is a module; a script imports it only
 * by a promise, so enable() and disable() may come before it arrives.
 */
const ExtensionUtils = imports.misc.extensionUtils;

class VitrelExtension {
    enable() {
        this._enabled = true;
        const uri = ExtensionUtils.getCurrentExtension().dir.get_child('windowService.js').get_uri();
        import(uri).then(({WindowService}) => {
            if (this._enabled && !this._service)
                this._service = new WindowService();
        }).catch(logError);
    }

    disable() {
        this._enabled = false;
        this._service?.destroy();
        this._service = null;
    }
}

function init() {
    return new VitrelExtension();
}
