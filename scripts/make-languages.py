#!/usr/bin/env python3
"""Writes the default language files of the builder's data folder:
data/languages/install/english.wri and data/languages/uninstall/english.wri
(UTF-16 LE with byte-order mark, CR LF line ends)."""
import os

here = os.path.dirname(os.path.abspath(__file__))
data = os.path.join(here, '..', 'data', 'languages')

ENGLISH_IDS = ['0c09', '2809', '1009', '2409', '4009', '1809', '2009', '4409',
               '1409', '3409', '4809', '1c09', '2c09', '0809', '0409', '3009']

INSTALL = {
    1: 'Welcome to <%SETUPTITLE%>',
    2: 'This wizard will guide you through the installation of <%SETUPSHORTTITLE%>. <BR><BR>'
       'It is recommended that you close all other applications before starting this Setup.<BR><BR>'
       'Click Next to continue.',
    3: 'ChangeLog',
    4: 'Install',
    5: 'Click on the Install button to begin the installation process',
    6: 'Space required <%SPACEREQ%>',
    7: 'Space available <%SPACEAVA%>',
    8: 'Installing',
    9: 'Status:',
    10: 'Finished',
    11: 'The setup has finished. You may close this program.',
    12: '< Back',
    13: 'Next >',
    14: 'Cancel',
    15: 'Install',
    16: 'Finish',
    17: 'Copying File <%FILENAME%>',
    18: 'Extracting <%FILENAME%>',
    19: 'Processing <%ZUPNAME%>: <%FNUM%> of <%FTOTAL%> files',
    20: 'Writing <%ZUPNAME%>`s Header',
    21: 'Beginning Installation',
    22: 'Creating Shortcuts',
    23: 'Setup failed to install.',
    24: 'Install Directory',
    25: 'Select the directory to install to',
    26: '',
    27: 'Are you sure you want to quit the installation?',
    28: 'Quit',
    29: 'Loading <%ZUPNAME%>',
    30: 'Executing application <%FILENAME%>',
    31: 'Windows opens the name <%DEVICENAME%> as a device: choose another folder.',
    32: 'Setup cannot install to this drive: choose a hard disk, a removable or a network drive.',
    33: 'Restoring <%FNUM%> of <%FTOTAL%>',
    34: 'Setup must change files that these programs are using:',
    35: 'Setup must change these files, which another program is using:',
    36: 'Close them, then choose Retry. Cancel leaves everything as it was.',
    37: 'Files in use',
    38: 'unknown',
}

UNINSTALL = dict(INSTALL)
UNINSTALL.update({
    1: 'Welcome to the <%SETUPTITLE%> uninstaller',
    2: 'This wizard will remove <%SETUPSHORTTITLE%> from your computer. <BR><BR>'
       'Close <%SETUPSHORTTITLE%> before you go on.<BR><BR>Click Next to continue.',
    4: 'Uninstall',
    5: 'Click on the Uninstall button to remove the installed files',
    8: 'Uninstalling',
    11: 'The uninstallation has finished. You may close this program.',
    15: 'Uninstall',
    19: 'Uninstalling <%ZUPNAME%>: <%FNUM%> of <%FTOTAL%> items',
    24: 'registary enteries',
    25: 'directories',
    26: 'Uninstallation',
    27: 'Are you sure you want to quit the uninstallation?',
    34: 'Uninstall must remove files that these programs are using:',
    35: 'Uninstall must remove these files, which another program is using:',
})


def write(path, strings):
    lines = ['English', ';'.join(ENGLISH_IDS) + ';']
    lines += [f'{n} {text}' if text else f'{n} ' for n, text in sorted(strings.items())]
    text = '\r\n'.join(lines) + '\r\n'
    with open(path, 'wb') as f:
        f.write(b'\xff\xfe' + text.encode('utf-16-le'))


write(os.path.join(data, 'install', 'english.wri'), INSTALL)
write(os.path.join(data, 'uninstall', 'english.wri'), UNINSTALL)
