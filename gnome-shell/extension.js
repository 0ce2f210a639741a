import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';

import {WindowService} from './windowService.js';

export default class VitrelExtension extends Extension {
    enable() {
        this._service = new WindowService();
    }

    disable() {
        this._service.destroy();
        this._service = null;
    }
}
