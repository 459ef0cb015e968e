# A stand-in for mutter's org.gnome.Mutter.DisplayConfig on the session bus, for what a real one
# never does. Usage: display_config.py PRIMARY CONNECTOR...: GetCurrentState answers with one
# logical monitor per CONNECTOR, PRIMARY's marked primary; PRIMARY "gone" kills the bus (BUS_PID)
# mid-call instead, "mute" never answers. Prints "ready" once it owns its name.
import os, signal, sys
import dbus, dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib


class DisplayConfig(dbus.service.Object):
    @dbus.service.method("org.gnome.Mutter.DisplayConfig", in_signature="", async_callbacks=("reply", "error"),
                         out_signature="ua((ssss)a(siiddada{sv})a{sv})a(iiduba(ssss)a{sv})a{sv}")
    def GetCurrentState(self, reply, error):
        if sys.argv[1] == "gone":
            os.kill(int(os.environ["BUS_PID"]), signal.SIGKILL)
        elif sys.argv[1] != "mute":
            reply(1, [], [(0, 0, 1.0, 0, c == sys.argv[1], [(c, "", "", "")], {}) for c in sys.argv[2:]], {})


DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
name = dbus.service.BusName("org.gnome.Mutter.DisplayConfig", bus)
DisplayConfig(bus, "/org/gnome/Mutter/DisplayConfig")
print("ready", flush=True)
GLib.MainLoop().run()
