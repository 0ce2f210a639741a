import Clutter from 'gi://Clutter';
import GLib from 'gi://GLib';
import GObject from 'gi://GObject';
import Gio from 'gi://Gio';
import Meta from 'gi://Meta';

const BUS_NAME = 'org.vitrel.Shell';
const OBJECT_PATH = '/org/vitrel/Shell';
const WindowsIface = `<node>
  <interface name="org.vitrel.Shell">
    <method name="ListWindows">
      <arg type="a(tsst)" direction="out" name="windows"/>
    </method>
    <method name="SetAlphas">
      <arg type="a(ty)" direction="in" name="alphas"/>
    </method>
  </interface>
</node>`;
// The tools send at most this many alphas a call; a larger call is refused before it is read.
const MAX_ALPHAS = 4096;

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

// Mutter 51 loses an X11 window's instance: the tools then read its class from Xwayland, by the window's X11
// id, which begins its description.
function lostClassWindow(window) {
    if (window.get_client_type() !== Meta.WindowClientType.X11 || window.get_wm_class_instance() !== null ||
        window.get_wm_class() === null)
        return 0;
    return Number.parseInt(window.get_description(), 16) || 0;
}

// Not in GNOME 43's typelib: known by its type's name, which Mutter registers with its first one.
function isSurfaceActor(actor) {
    const surfaceActor = GObject.type_from_name('MetaSurfaceActor');
    return surfaceActor !== null && GObject.type_is_a(actor.constructor.$gtype, surfaceActor);
}

/*
 * Lists the windows Mutter manages, topmost first, each with its X11 id
 * where Mutter lost part of its class (else 0), and sets their opacity by
 * id. The opacity goes on the surface actors: on the window actor, Mutter
 * still culls what lies under an opaque surface, and the background never
 * shows through. A window's alpha is kept for as long as its actor lives, for
 * a surface that comes later, as Xwayland's do.
 *
 * Any program of the session may call: a call is looked at before its
 * arguments are unpacked, so that none can hold the shell for long.
 */
export class WindowService {
    constructor() {
        this._alphas = new Map();
        this._registrationId = Gio.DBus.session.register_object(OBJECT_PATH,
            Gio.DBusInterfaceInfo.new_for_xml(WindowsIface),
            (connection, sender, path, iface, method, parameters, invocation) =>
                this._handleMethodCall(method, parameters, invocation),
            null, null);
        this._nameId = Gio.bus_own_name_on_connection(Gio.DBus.session, BUS_NAME,
            Gio.BusNameOwnerFlags.NONE, null, null);
    }

    destroy() {
        Gio.bus_unown_name(this._nameId);
        Gio.DBus.session.unregister_object(this._registrationId);
        for (const windowActor of [...this._alphas.keys()])
            this._forget(windowActor);
    }

    _handleMethodCall(method, parameters, invocation) {
        if (method === 'ListWindows') {
            invocation.return_value(new GLib.Variant('(a(tsst))', [this._listWindows()]));
            return;
        }
        const alphas = parameters.get_child_value(0);
        if (alphas.n_children() > MAX_ALPHAS) {
            invocation.return_dbus_error('org.freedesktop.DBus.Error.LimitsExceeded',
                `At most ${MAX_ALPHAS} alphas a call`);
            return;
        }
        this._setAlphas(alphas);
        invocation.return_value(null);
    }

    _listWindows() {
        const windows = global.display.list_all_windows().filter(window =>
            !window.is_override_redirect() && !UNLISTED_TYPES.includes(window.get_window_type()));
        return global.display.sort_windows_by_stacking(windows).reverse().map(window =>
            [window.get_id(), className(window), window.get_title() ?? '', lostClassWindow(window)]);
    }

    // Each window takes the last alpha named for it, once. An id that no JavaScript number holds names no window.
    _setAlphas(alphas) {
        const wanted = new Map();
        for (let i = 0; i < alphas.n_children(); i++) {
            const [id, alpha] = [0, 1].map(field => alphas.get_child_value(i).get_child_value(field));
            const number = Number(id.print(false));
            if (Number.isSafeInteger(number))
                wanted.set(number, alpha.get_byte());
        }
        for (const actor of global.get_window_actors()) {
            const alpha = wanted.get(actor.meta_window.get_id());
            if (alpha !== undefined)
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
