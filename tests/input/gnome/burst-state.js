// 'running' or 'done', as gnome/resize-burst.js left it.
global.quadviewBurst
