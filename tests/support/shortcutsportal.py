'''The desktop's side of the global shortcuts portal: it binds the trigger the test sets
("asked": the one the program asked for, "": none) and presses a shortcut on demand.'''
import dbus
from dbusmock import MOCK_IFACE

BUS_NAME = 'org.freedesktop.impl.portal.desktop.trovaneltest'
MAIN_OBJ = '/org/freedesktop/portal/desktop'
MAIN_IFACE = 'org.freedesktop.impl.portal.GlobalShortcuts'
SYSTEM_BUS = False

def load(mock, parameters):
    mock.trigger, mock.session = '', None
    mock.bind = lambda shortcuts: (dbus.UInt32(0), {'shortcuts': dbus.Array([(i, {
        'trigger_description': p.get('preferred_trigger', '') if mock.trigger == 'asked' else mock.trigger})
        for i, p in shortcuts] if mock.trigger else [], signature='(sa{sv})')})
    mock.AddMethods(MAIN_IFACE, [
        ('CreateSession', 'oosa{sv}', 'ua{sv}', 'self.session = args[1]; ret = (dbus.UInt32(0), {})'),
        ('BindShortcuts', 'ooa(sa{sv})sa{sv}', 'ua{sv}', 'ret = self.bind(args[2])')])

@dbus.service.method(MOCK_IFACE, in_signature='s')
def SetTrigger(self, trigger):
    self.trigger = trigger

@dbus.service.method(MOCK_IFACE, in_signature='s')
def Press(self, shortcut):
    self.EmitSignal(MAIN_IFACE, 'Activated', 'osta{sv}', [self.session, shortcut, dbus.UInt64(0), {}])
