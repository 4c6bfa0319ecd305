'''A systemd user manager for python3-dbusmock, as far as the launcher uses one.

StartTransientUnit appends each request to the JSON-lines file "record" names and, as the manager
does for a service, runs the program of its ExecStart. "answer" chooses the reply: "start" (the
job path, the default), "refuse" (the error an older manager gives for a property it does not
know) or "never" (no reply at all).
'''

import json
import subprocess

import dbus

BUS_NAME = 'org.freedesktop.systemd1'
MAIN_OBJ = '/org/freedesktop/systemd1'
MAIN_IFACE = 'org.freedesktop.systemd1.Manager'
SYSTEM_BUS = False


def load(mock, parameters):
    mock.veskosd_record = parameters['record']
    mock.veskosd_answer = parameters.get('answer', 'start')
    mock.veskosd_started = []
    mock.veskosd_unanswered = []


def plain(value):
    '''The D-Bus value as JSON: booleans before integers, since dbus.Boolean is an int.'''
    if isinstance(value, dbus.Boolean):
        return bool(value)
    if isinstance(value, (dbus.Array, dbus.Struct, list, tuple)):
        return [plain(v) for v in value]
    if isinstance(value, str):
        return str(value)
    return int(value)


@dbus.service.method(MAIN_IFACE, in_signature='ssa(sv)a(sa(sv))', out_signature='o',
                     async_callbacks=('reply', 'error'))
def StartTransientUnit(self, name, mode, properties, aux, reply, error):
    request = {'name': str(name), 'mode': str(mode),
               'properties': {str(k): plain(v) for k, v in properties}, 'aux': plain(aux)}
    with open(self.veskosd_record, 'a', encoding='utf-8') as out:
        out.write(json.dumps(request) + '\n')
    if self.veskosd_answer == 'never':
        self.veskosd_unanswered.append((reply, error))
        return
    if self.veskosd_answer == 'refuse':
        error(dbus.exceptions.DBusException(
            'Cannot set property ExitType, or unknown property.',
            name='org.freedesktop.DBus.Error.PropertyReadOnly'))
        return
    # Reaps the programs started before, so none is left a zombie.
    self.veskosd_started = [p for p in self.veskosd_started if p.poll() is None]
    for path, argv, _ in request['properties'].get('ExecStart', []):
        self.veskosd_started.append(subprocess.Popen(
            argv, executable=path, stdin=subprocess.DEVNULL, start_new_session=True))
    reply(f'/org/freedesktop/systemd1/job/{len(self.veskosd_started)}')
