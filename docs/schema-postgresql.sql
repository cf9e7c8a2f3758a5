-- PostgreSQL: the triggers that keep movimento_mensal in step with movimento_diario. Run after
-- schema.sql.
--
-- One trigger per statement, over the rows the statement wrote (a bulk INSERT ... SELECT or COPY adds
-- each branch-month once, not once per day). The month's sums change by the sums of the rows written:
-- NUMERIC arithmetic is exact, so the running sums are the sums of the rows, and adding to the row in
-- place (ON CONFLICT ... DO UPDATE) takes the row lock, so writers of the same branch-month at the same
-- time add up instead of overwriting each other. A branch-month whose rows were all deleted keeps a row
-- with qtdias = 0, which readers skip.
--
-- The functions name their tables with their schema and run with a search path of their own, so a writer
-- whose search_path holds tables of the same names elsewhere (a loader's staging schema first) still keeps
-- these. kpd-appserver writes the schema it creates the tables in where this file says public, and makes
-- functions from before this again (with the summary) when it starts.

-- A statement names only the transition tables its trigger has, so each kind of write has its own.
CREATE FUNCTION movimento_mensal_soma() RETURNS trigger LANGUAGE plpgsql
SET search_path = pg_catalog, pg_temp AS $$
BEGIN
    IF TG_OP = 'TRUNCATE' THEN
        DELETE FROM public.movimento_mensal;
    ELSIF TG_OP = 'INSERT' THEN
    INSERT INTO public.movimento_mensal AS m (mes, cdfilial, vrfatliq, vrconsumo, vrmdo, vrdespesas, qtdias, vrestoque)
    SELECT mes, cdfilial, SUM(vrfatliq), SUM(vrconsumo), SUM(vrmdo), SUM(vrdespesas), SUM(qtdias),
           (SELECT e.vrestoque FROM public.estoque_mensal e WHERE e.cdfilial = d.cdfilial AND e.mes = d.mes)
      FROM (SELECT date_trunc('month', dtmovimento)::date AS mes, cdfilial,
                   vrfatliq, vrconsumo, vrmdo, vrdespesas, 1 AS qtdias
              FROM movimento_diario_novos) AS d
     GROUP BY mes, cdfilial
     -- Rows locked in one order by every writer: two loads over the same branches cannot deadlock.
     ORDER BY mes, cdfilial
    ON CONFLICT (mes, cdfilial) DO UPDATE
       SET vrfatliq = m.vrfatliq + EXCLUDED.vrfatliq,
           vrconsumo = m.vrconsumo + EXCLUDED.vrconsumo,
           vrmdo = m.vrmdo + EXCLUDED.vrmdo,
           vrdespesas = m.vrdespesas + EXCLUDED.vrdespesas,
           qtdias = m.qtdias + EXCLUDED.qtdias;
    ELSIF TG_OP = 'DELETE' THEN
    INSERT INTO public.movimento_mensal AS m (mes, cdfilial, vrfatliq, vrconsumo, vrmdo, vrdespesas, qtdias, vrestoque)
    SELECT mes, cdfilial, SUM(vrfatliq), SUM(vrconsumo), SUM(vrmdo), SUM(vrdespesas), SUM(qtdias),
           (SELECT e.vrestoque FROM public.estoque_mensal e WHERE e.cdfilial = d.cdfilial AND e.mes = d.mes)
      FROM (SELECT date_trunc('month', dtmovimento)::date AS mes, cdfilial,
                   -vrfatliq AS vrfatliq, -vrconsumo AS vrconsumo, -vrmdo AS vrmdo,
                   -vrdespesas AS vrdespesas, -1 AS qtdias
              FROM movimento_diario_antigos) AS d
     GROUP BY mes, cdfilial
     -- Rows locked in one order by every writer: two loads over the same branches cannot deadlock.
     ORDER BY mes, cdfilial
    ON CONFLICT (mes, cdfilial) DO UPDATE
       SET vrfatliq = m.vrfatliq + EXCLUDED.vrfatliq,
           vrconsumo = m.vrconsumo + EXCLUDED.vrconsumo,
           vrmdo = m.vrmdo + EXCLUDED.vrmdo,
           vrdespesas = m.vrdespesas + EXCLUDED.vrdespesas,
           qtdias = m.qtdias + EXCLUDED.qtdias;
    ELSE
    INSERT INTO public.movimento_mensal AS m (mes, cdfilial, vrfatliq, vrconsumo, vrmdo, vrdespesas, qtdias, vrestoque)
    SELECT mes, cdfilial, SUM(vrfatliq), SUM(vrconsumo), SUM(vrmdo), SUM(vrdespesas), SUM(qtdias),
           (SELECT e.vrestoque FROM public.estoque_mensal e WHERE e.cdfilial = d.cdfilial AND e.mes = d.mes)
      FROM (SELECT date_trunc('month', dtmovimento)::date AS mes, cdfilial,
                   vrfatliq, vrconsumo, vrmdo, vrdespesas, 1 AS qtdias
              FROM movimento_diario_novos
            UNION ALL
            SELECT date_trunc('month', dtmovimento)::date, cdfilial,
                   -vrfatliq, -vrconsumo, -vrmdo, -vrdespesas, -1
              FROM movimento_diario_antigos) AS d
     GROUP BY mes, cdfilial
     -- Rows locked in one order by every writer: two loads over the same branches cannot deadlock.
     ORDER BY mes, cdfilial
    ON CONFLICT (mes, cdfilial) DO UPDATE
       SET vrfatliq = m.vrfatliq + EXCLUDED.vrfatliq,
           vrconsumo = m.vrconsumo + EXCLUDED.vrconsumo,
           vrmdo = m.vrmdo + EXCLUDED.vrmdo,
           vrdespesas = m.vrdespesas + EXCLUDED.vrdespesas,
           qtdias = m.qtdias + EXCLUDED.qtdias;
    END IF;
    RETURN NULL;
END
$$;

CREATE TRIGGER movimento_mensal_inclusao AFTER INSERT ON movimento_diario
    REFERENCING NEW TABLE AS movimento_diario_novos
    FOR EACH STATEMENT EXECUTE FUNCTION movimento_mensal_soma();

CREATE TRIGGER movimento_mensal_exclusao AFTER DELETE ON movimento_diario
    REFERENCING OLD TABLE AS movimento_diario_antigos
    FOR EACH STATEMENT EXECUTE FUNCTION movimento_mensal_soma();

CREATE TRIGGER movimento_mensal_alteracao AFTER UPDATE ON movimento_diario
    REFERENCING OLD TABLE AS movimento_diario_antigos NEW TABLE AS movimento_diario_novos
    FOR EACH STATEMENT EXECUTE FUNCTION movimento_mensal_soma();

CREATE TRIGGER movimento_mensal_esvaziamento AFTER TRUNCATE ON movimento_diario
    FOR EACH STATEMENT EXECUTE FUNCTION movimento_mensal_soma();

-- Fired ALWAYS, also for a logical-replication subscriber (session_replication_role = replica): rows it
-- applies are summed as any others.
ALTER TABLE movimento_diario ENABLE ALWAYS TRIGGER movimento_mensal_inclusao;
ALTER TABLE movimento_diario ENABLE ALWAYS TRIGGER movimento_mensal_exclusao;
ALTER TABLE movimento_diario ENABLE ALWAYS TRIGGER movimento_mensal_alteracao;
ALTER TABLE movimento_diario ENABLE ALWAYS TRIGGER movimento_mensal_esvaziamento;

-- Loads rewrite the current month's rows of the summary again and again: vacuumed after every thousand
-- rows changed or added, whatever the table's size, its pages stay marked all-visible and a month is read
-- from the index alone (autovacuum's default waits for a fifth of the table to change).
DO $$
BEGIN
    IF current_setting('server_version_num')::int >= 130000 THEN
        EXECUTE 'ALTER TABLE movimento_mensal SET (autovacuum_vacuum_scale_factor = 0, autovacuum_vacuum_threshold = 1000, '
                'autovacuum_vacuum_insert_scale_factor = 0, autovacuum_vacuum_insert_threshold = 1000, '
                'autovacuum_analyze_scale_factor = 0.02)';
    ELSE
        EXECUTE 'ALTER TABLE movimento_mensal SET (autovacuum_vacuum_scale_factor = 0, autovacuum_vacuum_threshold = 1000, '
                'autovacuum_analyze_scale_factor = 0.02)';
    END IF;
END
$$;

-- The month's totals per region: movimento_mensal added up by the region each branch is in, so a
-- month's company and region figures (and the months compared) are read from a few dozen rows. Kept as
-- the summary is, per statement: each statement's change to the summary (new rows minus old) is added to
-- its region-months, in NUMERIC, so the running sums are exact. A region-month whose branches all went
-- keeps a row with qtfiliais = 0, which readers skip.
CREATE TABLE IF NOT EXISTS movimento_regional_mensal (
    mes         DATE    NOT NULL,
    cdareagere  TEXT    NOT NULL,
    qtfiliais   INTEGER NOT NULL,
    vrfatliq    NUMERIC NOT NULL,
    vrconsumo   NUMERIC NOT NULL,
    vrmdo       NUMERIC NOT NULL,
    vrdespesas  NUMERIC NOT NULL,
    PRIMARY KEY (mes, cdareagere)
);

-- A statement names only the transition tables its trigger has, so each kind of write has its own.
CREATE FUNCTION movimento_regional_soma() RETURNS trigger LANGUAGE plpgsql
SET search_path = pg_catalog, pg_temp AS $$
BEGIN
    IF TG_OP = 'TRUNCATE' THEN
        DELETE FROM public.movimento_regional_mensal;
    ELSIF TG_OP = 'INSERT' THEN
    INSERT INTO public.movimento_regional_mensal AS r (mes, cdareagere, qtfiliais, vrfatliq, vrconsumo, vrmdo, vrdespesas)
    SELECT d.mes, f.cdareagere, SUM(d.qtfiliais), SUM(d.vrfatliq), SUM(d.vrconsumo), SUM(d.vrmdo), SUM(d.vrdespesas)
      FROM (SELECT mes, cdfilial, CASE WHEN qtdias > 0 THEN 1 ELSE 0 END AS qtfiliais,
                   vrfatliq, vrconsumo, vrmdo, vrdespesas
              FROM movimento_regional_novos) AS d
      JOIN public.filial f ON f.cdfilial = d.cdfilial
     GROUP BY d.mes, f.cdareagere
     -- Rows locked in one order by every writer: two loads cannot deadlock.
     ORDER BY d.mes, f.cdareagere
    ON CONFLICT (mes, cdareagere) DO UPDATE
       SET qtfiliais = r.qtfiliais + EXCLUDED.qtfiliais,
           vrfatliq = r.vrfatliq + EXCLUDED.vrfatliq,
           vrconsumo = r.vrconsumo + EXCLUDED.vrconsumo,
           vrmdo = r.vrmdo + EXCLUDED.vrmdo,
           vrdespesas = r.vrdespesas + EXCLUDED.vrdespesas;
    ELSIF TG_OP = 'DELETE' THEN
    INSERT INTO public.movimento_regional_mensal AS r (mes, cdareagere, qtfiliais, vrfatliq, vrconsumo, vrmdo, vrdespesas)
    SELECT d.mes, f.cdareagere, SUM(d.qtfiliais), SUM(d.vrfatliq), SUM(d.vrconsumo), SUM(d.vrmdo), SUM(d.vrdespesas)
      FROM (SELECT mes, cdfilial, CASE WHEN qtdias > 0 THEN -1 ELSE 0 END AS qtfiliais,
                   -vrfatliq AS vrfatliq, -vrconsumo AS vrconsumo, -vrmdo AS vrmdo, -vrdespesas AS vrdespesas
              FROM movimento_regional_antigos) AS d
      JOIN public.filial f ON f.cdfilial = d.cdfilial
     GROUP BY d.mes, f.cdareagere
     -- Rows locked in one order by every writer: two loads cannot deadlock.
     ORDER BY d.mes, f.cdareagere
    ON CONFLICT (mes, cdareagere) DO UPDATE
       SET qtfiliais = r.qtfiliais + EXCLUDED.qtfiliais,
           vrfatliq = r.vrfatliq + EXCLUDED.vrfatliq,
           vrconsumo = r.vrconsumo + EXCLUDED.vrconsumo,
           vrmdo = r.vrmdo + EXCLUDED.vrmdo,
           vrdespesas = r.vrdespesas + EXCLUDED.vrdespesas;
    ELSE
    INSERT INTO public.movimento_regional_mensal AS r (mes, cdareagere, qtfiliais, vrfatliq, vrconsumo, vrmdo, vrdespesas)
    SELECT d.mes, f.cdareagere, SUM(d.qtfiliais), SUM(d.vrfatliq), SUM(d.vrconsumo), SUM(d.vrmdo), SUM(d.vrdespesas)
      FROM (SELECT mes, cdfilial, CASE WHEN qtdias > 0 THEN 1 ELSE 0 END AS qtfiliais,
                   vrfatliq, vrconsumo, vrmdo, vrdespesas
              FROM movimento_regional_novos
            UNION ALL
            SELECT mes, cdfilial, CASE WHEN qtdias > 0 THEN -1 ELSE 0 END AS qtfiliais,
                   -vrfatliq AS vrfatliq, -vrconsumo AS vrconsumo, -vrmdo AS vrmdo, -vrdespesas AS vrdespesas
              FROM movimento_regional_antigos) AS d
      JOIN public.filial f ON f.cdfilial = d.cdfilial
     GROUP BY d.mes, f.cdareagere
     -- Rows locked in one order by every writer: two loads cannot deadlock.
     ORDER BY d.mes, f.cdareagere
    ON CONFLICT (mes, cdareagere) DO UPDATE
       SET qtfiliais = r.qtfiliais + EXCLUDED.qtfiliais,
           vrfatliq = r.vrfatliq + EXCLUDED.vrfatliq,
           vrconsumo = r.vrconsumo + EXCLUDED.vrconsumo,
           vrmdo = r.vrmdo + EXCLUDED.vrmdo,
           vrdespesas = r.vrdespesas + EXCLUDED.vrdespesas;
    END IF;
    RETURN NULL;
END
$$;

CREATE TRIGGER movimento_regional_inclusao AFTER INSERT ON movimento_mensal
    REFERENCING NEW TABLE AS movimento_regional_novos
    FOR EACH STATEMENT EXECUTE FUNCTION movimento_regional_soma();

CREATE TRIGGER movimento_regional_exclusao AFTER DELETE ON movimento_mensal
    REFERENCING OLD TABLE AS movimento_regional_antigos
    FOR EACH STATEMENT EXECUTE FUNCTION movimento_regional_soma();

CREATE TRIGGER movimento_regional_alteracao AFTER UPDATE ON movimento_mensal
    REFERENCING OLD TABLE AS movimento_regional_antigos NEW TABLE AS movimento_regional_novos
    FOR EACH STATEMENT EXECUTE FUNCTION movimento_regional_soma();

CREATE TRIGGER movimento_regional_esvaziamento AFTER TRUNCATE ON movimento_mensal
    FOR EACH STATEMENT EXECUTE FUNCTION movimento_regional_soma();

-- A branch moved to another region takes its months along: out of the old region, into the new. An import
-- writes every branch it names again; only those whose region changed reach the summary.
CREATE FUNCTION movimento_regional_filial() RETURNS trigger LANGUAGE plpgsql
SET search_path = pg_catalog, pg_temp AS $$
BEGIN
    INSERT INTO public.movimento_regional_mensal AS r (mes, cdareagere, qtfiliais, vrfatliq, vrconsumo, vrmdo, vrdespesas)
    SELECT mes, cdareagere, SUM(qtfiliais), SUM(vrfatliq), SUM(vrconsumo), SUM(vrmdo), SUM(vrdespesas)
      FROM (SELECT m.mes, o.cdareagere, -1 AS qtfiliais, -m.vrfatliq AS vrfatliq, -m.vrconsumo AS vrconsumo,
                   -m.vrmdo AS vrmdo, -m.vrdespesas AS vrdespesas
              FROM filial_antigas o JOIN filial_novas n ON n.cdfilial = o.cdfilial
              JOIN public.movimento_mensal m ON m.cdfilial = o.cdfilial AND m.qtdias > 0
             WHERE o.cdareagere IS DISTINCT FROM n.cdareagere
            UNION ALL
            SELECT m.mes, n.cdareagere, 1, m.vrfatliq, m.vrconsumo, m.vrmdo, m.vrdespesas
              FROM filial_antigas o JOIN filial_novas n ON n.cdfilial = o.cdfilial
              JOIN public.movimento_mensal m ON m.cdfilial = n.cdfilial AND m.qtdias > 0
             WHERE o.cdareagere IS DISTINCT FROM n.cdareagere) AS d
     GROUP BY mes, cdareagere
     ORDER BY mes, cdareagere
    ON CONFLICT (mes, cdareagere) DO UPDATE
       SET qtfiliais = r.qtfiliais + EXCLUDED.qtfiliais,
           vrfatliq = r.vrfatliq + EXCLUDED.vrfatliq,
           vrconsumo = r.vrconsumo + EXCLUDED.vrconsumo,
           vrmdo = r.vrmdo + EXCLUDED.vrmdo,
           vrdespesas = r.vrdespesas + EXCLUDED.vrdespesas;
    RETURN NULL;
END
$$;

CREATE TRIGGER movimento_regional_filial AFTER UPDATE ON filial
    REFERENCING OLD TABLE AS filial_antigas NEW TABLE AS filial_novas
    FOR EACH STATEMENT EXECUTE FUNCTION movimento_regional_filial();

ALTER TABLE movimento_mensal ENABLE ALWAYS TRIGGER movimento_regional_inclusao;
ALTER TABLE movimento_mensal ENABLE ALWAYS TRIGGER movimento_regional_exclusao;
ALTER TABLE movimento_mensal ENABLE ALWAYS TRIGGER movimento_regional_alteracao;
ALTER TABLE movimento_mensal ENABLE ALWAYS TRIGGER movimento_regional_esvaziamento;
ALTER TABLE filial ENABLE ALWAYS TRIGGER movimento_regional_filial;

-- Each day's revenue per region: movimento_diario added up by the region each branch is in, so the same
-- month a year before gives its revenue up to any day (the pace a partial month is projected with) from a
-- month's few hundred rows. Kept per statement as the summary is, in NUMERIC, so the running sums are
-- exact; a region-day whose rows all went keeps a row with qtfiliais = 0, which readers skip.
CREATE TABLE IF NOT EXISTS movimento_regional_diario (
    dtmovimento DATE    NOT NULL,
    cdareagere  TEXT    NOT NULL,
    qtfiliais   INTEGER NOT NULL,     -- daily rows added up (branches with figures that day)
    vrfatliq    NUMERIC NOT NULL,
    PRIMARY KEY (dtmovimento, cdareagere)
);

CREATE FUNCTION movimento_regional_diario_soma() RETURNS trigger LANGUAGE plpgsql
SET search_path = pg_catalog, pg_temp AS $$
BEGIN
    IF TG_OP = 'TRUNCATE' THEN
        DELETE FROM public.movimento_regional_diario;
    ELSIF TG_OP = 'INSERT' THEN
    INSERT INTO public.movimento_regional_diario AS r (dtmovimento, cdareagere, qtfiliais, vrfatliq)
    SELECT d.dtmovimento, f.cdareagere, COUNT(*), SUM(d.vrfatliq)
      FROM movimento_diario_novos d JOIN public.filial f ON f.cdfilial = d.cdfilial
     GROUP BY d.dtmovimento, f.cdareagere
     ORDER BY d.dtmovimento, f.cdareagere
    ON CONFLICT (dtmovimento, cdareagere) DO UPDATE
       SET qtfiliais = r.qtfiliais + EXCLUDED.qtfiliais, vrfatliq = r.vrfatliq + EXCLUDED.vrfatliq;
    ELSIF TG_OP = 'DELETE' THEN
    INSERT INTO public.movimento_regional_diario AS r (dtmovimento, cdareagere, qtfiliais, vrfatliq)
    SELECT d.dtmovimento, f.cdareagere, -COUNT(*), -SUM(d.vrfatliq)
      FROM movimento_diario_antigos d JOIN public.filial f ON f.cdfilial = d.cdfilial
     GROUP BY d.dtmovimento, f.cdareagere
     ORDER BY d.dtmovimento, f.cdareagere
    ON CONFLICT (dtmovimento, cdareagere) DO UPDATE
       SET qtfiliais = r.qtfiliais + EXCLUDED.qtfiliais, vrfatliq = r.vrfatliq + EXCLUDED.vrfatliq;
    ELSE
    INSERT INTO public.movimento_regional_diario AS r (dtmovimento, cdareagere, qtfiliais, vrfatliq)
    SELECT d.dtmovimento, f.cdareagere, SUM(d.qtfiliais), SUM(d.vrfatliq)
      FROM (SELECT cdfilial, dtmovimento, 1 AS qtfiliais, vrfatliq FROM movimento_diario_novos
            UNION ALL
            SELECT cdfilial, dtmovimento, -1, -vrfatliq FROM movimento_diario_antigos) AS d
      JOIN public.filial f ON f.cdfilial = d.cdfilial
     GROUP BY d.dtmovimento, f.cdareagere
     ORDER BY d.dtmovimento, f.cdareagere
    ON CONFLICT (dtmovimento, cdareagere) DO UPDATE
       SET qtfiliais = r.qtfiliais + EXCLUDED.qtfiliais, vrfatliq = r.vrfatliq + EXCLUDED.vrfatliq;
    END IF;
    RETURN NULL;
END
$$;

CREATE TRIGGER movimento_regional_diario_inclusao AFTER INSERT ON movimento_diario
    REFERENCING NEW TABLE AS movimento_diario_novos
    FOR EACH STATEMENT EXECUTE FUNCTION movimento_regional_diario_soma();

CREATE TRIGGER movimento_regional_diario_exclusao AFTER DELETE ON movimento_diario
    REFERENCING OLD TABLE AS movimento_diario_antigos
    FOR EACH STATEMENT EXECUTE FUNCTION movimento_regional_diario_soma();

CREATE TRIGGER movimento_regional_diario_alteracao AFTER UPDATE ON movimento_diario
    REFERENCING OLD TABLE AS movimento_diario_antigos NEW TABLE AS movimento_diario_novos
    FOR EACH STATEMENT EXECUTE FUNCTION movimento_regional_diario_soma();

CREATE TRIGGER movimento_regional_diario_esvaziamento AFTER TRUNCATE ON movimento_diario
    FOR EACH STATEMENT EXECUTE FUNCTION movimento_regional_diario_soma();

-- A branch moved to another region takes its days along.
CREATE FUNCTION movimento_regional_diario_filial() RETURNS trigger LANGUAGE plpgsql
SET search_path = pg_catalog, pg_temp AS $$
BEGIN
    INSERT INTO public.movimento_regional_diario AS r (dtmovimento, cdareagere, qtfiliais, vrfatliq)
    SELECT dtmovimento, cdareagere, SUM(qtfiliais), SUM(vrfatliq)
      FROM (SELECT d.dtmovimento, o.cdareagere, -1 AS qtfiliais, -d.vrfatliq AS vrfatliq
              FROM filial_antigas o JOIN filial_novas n ON n.cdfilial = o.cdfilial
              JOIN public.movimento_diario d ON d.cdfilial = o.cdfilial
             WHERE o.cdareagere IS DISTINCT FROM n.cdareagere
            UNION ALL
            SELECT d.dtmovimento, n.cdareagere, 1, d.vrfatliq
              FROM filial_antigas o JOIN filial_novas n ON n.cdfilial = o.cdfilial
              JOIN public.movimento_diario d ON d.cdfilial = n.cdfilial
             WHERE o.cdareagere IS DISTINCT FROM n.cdareagere) AS x
     GROUP BY dtmovimento, cdareagere
     ORDER BY dtmovimento, cdareagere
    ON CONFLICT (dtmovimento, cdareagere) DO UPDATE
       SET qtfiliais = r.qtfiliais + EXCLUDED.qtfiliais, vrfatliq = r.vrfatliq + EXCLUDED.vrfatliq;
    RETURN NULL;
END
$$;

CREATE TRIGGER movimento_regional_diario_filial AFTER UPDATE ON filial
    REFERENCING OLD TABLE AS filial_antigas NEW TABLE AS filial_novas
    FOR EACH STATEMENT EXECUTE FUNCTION movimento_regional_diario_filial();

ALTER TABLE movimento_diario ENABLE ALWAYS TRIGGER movimento_regional_diario_inclusao;
ALTER TABLE movimento_diario ENABLE ALWAYS TRIGGER movimento_regional_diario_exclusao;
ALTER TABLE movimento_diario ENABLE ALWAYS TRIGGER movimento_regional_diario_alteracao;
ALTER TABLE movimento_diario ENABLE ALWAYS TRIGGER movimento_regional_diario_esvaziamento;
ALTER TABLE filial ENABLE ALWAYS TRIGGER movimento_regional_diario_filial;

-- The Top 10 and Bottom 10 of a month read the first rows of this index: each branch-month's result in per
-- cent of its revenue, kept beside its sums in the server's own arithmetic (double precision: revenue less
-- consumption, labour and expenses, times 100, over revenue), empty where the revenue is below half a cent
-- and so has no share. A stored column, so that neither the planner nor the reads work the figure out again.
ALTER TABLE movimento_mensal ADD COLUMN IF NOT EXISTS pcresultado double precision GENERATED ALWAYS AS
    (CASE WHEN qtdias > 0 AND vrfatliq::float8 >= 0.005::float8
          THEN (vrfatliq::float8 - (vrconsumo::float8 + vrmdo::float8 + vrdespesas::float8)) * 100.0::float8
               / vrfatliq::float8 END) STORED;
CREATE INDEX IF NOT EXISTS ix_movimento_mensal_resultado ON movimento_mensal (mes, pcresultado, cdfilial);

-- The month-end stock copied beside the month's sums (movimento_mensal.vrestoque), so that the branches
-- with the most days of stock are the first rows of an index too: every statement on estoque_mensal sets
-- the copy of the branch-months it touched again (a new branch-month takes its copy when it is summed).
CREATE FUNCTION movimento_mensal_estoque() RETURNS trigger LANGUAGE plpgsql
SET search_path = pg_catalog, pg_temp AS $$
BEGIN
    IF TG_OP = 'TRUNCATE' THEN
        UPDATE public.movimento_mensal SET vrestoque = NULL WHERE vrestoque IS NOT NULL;
    ELSIF TG_OP = 'INSERT' THEN
        UPDATE public.movimento_mensal m SET vrestoque = e.vrestoque
          FROM estoque_novos e WHERE m.mes = e.mes AND m.cdfilial = e.cdfilial;
    ELSIF TG_OP = 'DELETE' THEN
        UPDATE public.movimento_mensal m
           SET vrestoque = (SELECT c.vrestoque FROM public.estoque_mensal c WHERE c.mes = m.mes AND c.cdfilial = m.cdfilial)
          FROM estoque_antigos e WHERE m.mes = e.mes AND m.cdfilial = e.cdfilial;
    ELSE
        UPDATE public.movimento_mensal m
           SET vrestoque = (SELECT c.vrestoque FROM public.estoque_mensal c WHERE c.mes = m.mes AND c.cdfilial = m.cdfilial)
          FROM (SELECT mes, cdfilial FROM estoque_novos UNION SELECT mes, cdfilial FROM estoque_antigos) e
         WHERE m.mes = e.mes AND m.cdfilial = e.cdfilial;
    END IF;
    RETURN NULL;
END
$$;

CREATE TRIGGER movimento_mensal_estoque_inclusao AFTER INSERT ON estoque_mensal
    REFERENCING NEW TABLE AS estoque_novos
    FOR EACH STATEMENT EXECUTE FUNCTION movimento_mensal_estoque();

CREATE TRIGGER movimento_mensal_estoque_exclusao AFTER DELETE ON estoque_mensal
    REFERENCING OLD TABLE AS estoque_antigos
    FOR EACH STATEMENT EXECUTE FUNCTION movimento_mensal_estoque();

CREATE TRIGGER movimento_mensal_estoque_alteracao AFTER UPDATE ON estoque_mensal
    REFERENCING OLD TABLE AS estoque_antigos NEW TABLE AS estoque_novos
    FOR EACH STATEMENT EXECUTE FUNCTION movimento_mensal_estoque();

CREATE TRIGGER movimento_mensal_estoque_esvaziamento AFTER TRUNCATE ON estoque_mensal
    FOR EACH STATEMENT EXECUTE FUNCTION movimento_mensal_estoque();

ALTER TABLE estoque_mensal ENABLE ALWAYS TRIGGER movimento_mensal_estoque_inclusao;
ALTER TABLE estoque_mensal ENABLE ALWAYS TRIGGER movimento_mensal_estoque_exclusao;
ALTER TABLE estoque_mensal ENABLE ALWAYS TRIGGER movimento_mensal_estoque_alteracao;
ALTER TABLE estoque_mensal ENABLE ALWAYS TRIGGER movimento_mensal_estoque_esvaziamento;

-- The list of days of stock reads the first rows of this index: month-end stock times the month's days
-- over the month's consumption, in the server's own arithmetic (double precision); empty without stock
-- or consumption.
ALTER TABLE movimento_mensal ADD COLUMN IF NOT EXISTS nrdiasestoque double precision GENERATED ALWAYS AS
    (CASE WHEN qtdias > 0 AND vrestoque IS NOT NULL AND vrconsumo::float8 > 0::float8
          THEN vrestoque::float8 * ((mes + interval '1 month')::date - mes)::float8 / vrconsumo::float8 END) STORED;
CREATE INDEX IF NOT EXISTS ix_movimento_mensal_estoque ON movimento_mensal (mes, nrdiasestoque, cdfilial);
