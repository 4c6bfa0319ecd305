'''A desktop portal with GlobalShortcuts, for python3-dbusmock, as far as veskosd uses one.

Requests are answered at once and their Response signal follows, as from a user who confirmed.
"answer" chooses it: "grant" (the default), "refuse" (BindShortcuts gets response 1, the user
cancelled) or "no-session" (CreateSession gets response 2). Activate(id), on the mock interface,
presses a shortcut of the last session, as the desktop would.
'''

import time

import dbus
import dbus.lowlevel
from gi.repository import GLib

from dbusmock import MOCK_IFACE

BUS_NAME = 'org.freedesktop.portal.Desktop'
MAIN_OBJ = '/org/freedesktop/portal/desktop'
MAIN_IFACE = 'org.freedesktop.portal.GlobalShortcuts'
SYSTEM_BUS = False


def load(mock, parameters):
    mock.veskosd_answer = parameters.get('answer', 'grant')
    mock.veskosd_session = None
    mock.AddProperty(MAIN_IFACE, 'version', dbus.UInt32(1))


def handle(kind, sender, token):
    return f'{MAIN_OBJ}/{kind}/{sender[1:].replace(".", "_")}/{token}'


def respond(mock, path, code, results):
    '''The Response of the request at `path`, sent once the method's reply has gone.'''
    def send():
        msg = dbus.lowlevel.SignalMessage(path, 'org.freedesktop.portal.Request', 'Response')
        msg.append(dbus.UInt32(code), dbus.Dictionary(results, signature='sv'),
                   signature='ua{sv}')
        mock.connection.send_message(msg)
        return False
    GLib.idle_add(send)


@dbus.service.method(MAIN_IFACE, in_signature='a{sv}', out_signature='o', sender_keyword='sender')
def CreateSession(self, options, sender):
    request = handle('request', sender, options['handle_token'])
    if self.veskosd_answer == 'no-session':
        respond(self, request, 2, {})
        return request
    self.veskosd_session = handle('session', sender, options['session_handle_token'])
    respond(self, request, 0, {'session_handle': dbus.String(self.veskosd_session)})
    return request


@dbus.service.method(MAIN_IFACE, in_signature='oa(sa{sv})sa{sv}', out_signature='o',
                     sender_keyword='sender')
def BindShortcuts(self, session, shortcuts, parent, options, sender):
    request = handle('request', sender, options['handle_token'])
    if self.veskosd_answer == 'refuse':
        respond(self, request, 1, {})
        return request
    bound = [(sid, {'description': props['description'],
                    'trigger_description': props.get('preferred_trigger', '')})
             for sid, props in shortcuts]
    respond(self, request, 0, {'shortcuts': dbus.Array(bound, signature='(sa{sv})')})
    return request


@dbus.service.method(MOCK_IFACE, in_signature='s', out_signature='')
def Activate(self, shortcut):
    self.EmitSignal(MAIN_IFACE, 'Activated', 'osta{sv}',
                    [dbus.ObjectPath(self.veskosd_session), shortcut,
                     dbus.UInt64(int(time.time() * 1000)), dbus.Dictionary({}, signature='sv')])
