import Clutter from 'gi://Clutter';
import GObject from 'gi://GObject';
import Gio from 'gi://Gio';
import Meta from 'gi://Meta';

const BUS_NAME = 'org.vitrel.Shell';
const OBJECT_PATH = '/org/vitrel/Shell';
const WindowsIface = `<node>
  <interface name="org.vitrel.Shell">
    <method name="ListWindows">
      <arg type="a(tss)" direction="out" name="windows"/>
    </method>
    <method name="SetAlphas">
      <arg type="a(ty)" direction="in" name="alphas"/>
    </method>
  </interface>
</node>`;

// Newer Clutter announces a new child by child-added, older by its container interface's actor-added.
const CHILD_ADDED = GObject.signal_lookup('child-added', Clutter.Actor) ? 'child-added' : 'actor-added';
// Menus, popups and tooltips come and go with the pointer; panels and the desktop are the desktop's own.
const UNLISTED_TYPES = [
    Meta.WindowType.DESKTOP, Meta.WindowType.DOCK, Meta.WindowType.DROPDOWN_MENU, Meta.WindowType.POPUP_MENU,
    Meta.WindowType.TOOLTIP, Meta.WindowType.NOTIFICATION, Meta.WindowType.COMBO, Meta.WindowType.DND,
];

// An X11 window's class is "instance.class", as on X11; a Wayland window's is its app id.
function className(window) {
    const [instance, windowClass] = [window.get_wm_class_instance(), window.get_wm_class()];
    if (window.get_client_type() !== Meta.WindowClientType.X11)
        return windowClass ?? '';
    return instance === null && windowClass === null ? '' : `${instance ?? ''}.${windowClass ?? ''}`;
}

// Not in GNOME 43's typelib: known by its type's name, which Mutter registers with its first one.
function isSurfaceActor(actor) {
    const surfaceActor = GObject.type_from_name('MetaSurfaceActor');
    return surfaceActor !== null && GObject.type_is_a(actor.constructor.$gtype, surfaceActor);
}

/*
 * Lists the windows Mutter manages, topmost first, and sets their opacity by
 * id. The opacity goes on the surface actors: on the window actor, Mutter
 * still culls what lies under an opaque surface, and the background never
 * shows through. A window's alpha is kept for as long as its actor lives, for
 * a surface that comes later, as Xwayland's do.
 */
export class WindowService {
    constructor() {
        this._alphas = new Map();
        this._dbusImpl = Gio.DBusExportedObject.wrapJSObject(WindowsIface, this);
        this._dbusImpl.export(Gio.DBus.session, OBJECT_PATH);
        this._nameId = Gio.bus_own_name_on_connection(Gio.DBus.session, BUS_NAME,
            Gio.BusNameOwnerFlags.NONE, null, null);
    }

    destroy() {
        Gio.bus_unown_name(this._nameId);
        this._dbusImpl.unexport();
        for (const windowActor of [...this._alphas.keys()])
            this._forget(windowActor);
    }

    ListWindows() {
        const windows = global.display.list_all_windows().filter(window =>
            !window.is_override_redirect() && !UNLISTED_TYPES.includes(window.get_window_type()));
        return global.display.sort_windows_by_stacking(windows).reverse().map(window =>
            [window.get_id(), className(window), window.get_title() ?? '']);
    }

    SetAlphas(alphas) {
        const actors = new Map(global.get_window_actors().map(actor => [actor.meta_window.get_id(), actor]));
        for (const [id, alpha] of alphas) {
            const actor = actors.get(id);
            if (actor)
                this._setAlpha(actor, alpha);
        }
    }

    _setAlpha(windowActor, alpha) {
        let kept = this._alphas.get(windowActor);
        if (!kept) {
            kept = {watched: new Map()};
            kept.destroyId = windowActor.connect('destroy', () => this._forget(windowActor));
            this._alphas.set(windowActor, kept);
        }
        kept.alpha = alpha;
        this._applyAlpha(windowActor, kept);
    }

    // Sets the alpha on each surface actor under the actor, and watches every actor above them for more.
    _applyAlpha(actor, kept) {
        if (isSurfaceActor(actor)) {
            actor.opacity = kept.alpha;
            return;
        }
        if (!kept.watched.has(actor))
            kept.watched.set(actor, actor.connect(CHILD_ADDED, (_, child) => this._applyAlpha(child, kept)));
        for (const child of actor.get_children())
            this._applyAlpha(child, kept);
    }

    _forget(windowActor) {
        const kept = this._alphas.get(windowActor);
        for (const [actor, id] of kept.watched)
            actor.disconnect(id);
        windowActor.disconnect(kept.destroyId);
        this._alphas.delete(windowActor);
    }
}
