-- PostgreSQL: the data version. Run after schema.sql and schema-postgresql.sql.
--
-- One number that every write of the figures a month's answer is computed from draws anew at random, in
-- the writer's own transaction, whoever writes: kpd-appserver keeps each month's finished answer with the
-- version it was computed at and hands it out again while the version read at the start of a call is the
-- same. A write committed before a call starts has changed the version that call reads; a write rolled
-- back has changed nothing, so the answers kept before it stay good. Drawn, not counted: a backup put back
-- and loaded again must not come back to the number that a load it undid had reached.
--
-- One trigger per statement, before the statement runs: a writer locks the version's row with its first
-- writing statement, before any row that statement (or the summary's triggers after it) locks, and holds
-- it to its commit. Writers of the figures take turns, and always lock in the same order: none can wait
-- for another that waits for it.
--
-- The function names its table with its schema and runs with a search path of its own, so a writer whose
-- search_path holds another versao_dados still changes this one. The triggers fire ALWAYS, also for a
-- logical-replication subscriber (session_replication_role = replica). A table that other tables inherit
-- from (or a partitioned one) is not followed: writes to its children would go unseen, and kpd-appserver
-- keeps no answers while one is there. kpd-appserver --init-schema writes the schema it creates the
-- tables in where this file says public.
CREATE TABLE IF NOT EXISTS versao_dados (
    origem      BIGINT NOT NULL,      -- drawn at random when made: another database's count is another's
    versao      BIGINT NOT NULL       -- drawn again by every writing statement of the tables below
);
INSERT INTO versao_dados (origem, versao)
SELECT floor(random() * 9.2e18)::bigint, 0 WHERE NOT EXISTS (SELECT 1 FROM versao_dados);

-- Finished answers (the call's packets, the browser's JSON), each with the version it was computed at:
-- one instance's work serves every instance over this database.
CREATE TABLE IF NOT EXISTS resposta_guardada (
    chave       TEXT PRIMARY KEY,     -- what was asked, e.g. 'getCkpData 2024-03-01'
    origem      BIGINT NOT NULL,
    versao      BIGINT NOT NULL,
    resposta    BYTEA NOT NULL
);
-- A region's page at thousands of branches is megabytes: lz4 packs it in a tenth of the default's time,
-- where the server knows it (a server without it keeps the default: the answers are the same).
DO $$
BEGIN
    EXECUTE 'ALTER TABLE resposta_guardada ALTER COLUMN resposta SET COMPRESSION lz4';
EXCEPTION WHEN OTHERS THEN
    NULL;
END
$$;

CREATE OR REPLACE FUNCTION versao_dados_mudou() RETURNS trigger LANGUAGE plpgsql
SET search_path = pg_catalog, pg_temp AS $$
BEGIN
    UPDATE public.versao_dados SET versao = floor(random() * 9.2e18)::bigint;
    RETURN NULL;
END
$$;

CREATE TRIGGER versao_regional BEFORE INSERT OR UPDATE OR DELETE OR TRUNCATE ON regional
    FOR EACH STATEMENT EXECUTE FUNCTION versao_dados_mudou();
ALTER TABLE regional ENABLE ALWAYS TRIGGER versao_regional;

CREATE TRIGGER versao_filial BEFORE INSERT OR UPDATE OR DELETE OR TRUNCATE ON filial
    FOR EACH STATEMENT EXECUTE FUNCTION versao_dados_mudou();
ALTER TABLE filial ENABLE ALWAYS TRIGGER versao_filial;

CREATE TRIGGER versao_movimento_diario BEFORE INSERT OR UPDATE OR DELETE OR TRUNCATE ON movimento_diario
    FOR EACH STATEMENT EXECUTE FUNCTION versao_dados_mudou();
ALTER TABLE movimento_diario ENABLE ALWAYS TRIGGER versao_movimento_diario;

CREATE TRIGGER versao_estoque_mensal BEFORE INSERT OR UPDATE OR DELETE OR TRUNCATE ON estoque_mensal
    FOR EACH STATEMENT EXECUTE FUNCTION versao_dados_mudou();
ALTER TABLE estoque_mensal ENABLE ALWAYS TRIGGER versao_estoque_mensal;

CREATE TRIGGER versao_meta_mensal BEFORE INSERT OR UPDATE OR DELETE OR TRUNCATE ON meta_mensal
    FOR EACH STATEMENT EXECUTE FUNCTION versao_dados_mudou();
ALTER TABLE meta_mensal ENABLE ALWAYS TRIGGER versao_meta_mensal;

CREATE TRIGGER versao_carga_etl BEFORE INSERT OR UPDATE OR DELETE OR TRUNCATE ON carga_etl
    FOR EACH STATEMENT EXECUTE FUNCTION versao_dados_mudou();
ALTER TABLE carga_etl ENABLE ALWAYS TRIGGER versao_carga_etl;

-- The summary is written by the daily rows' triggers, but a direct write of it changes the figures too.
CREATE TRIGGER versao_movimento_mensal BEFORE INSERT OR UPDATE OR DELETE OR TRUNCATE ON movimento_mensal
    FOR EACH STATEMENT EXECUTE FUNCTION versao_dados_mudou();
ALTER TABLE movimento_mensal ENABLE ALWAYS TRIGGER versao_movimento_mensal;

-- The region totals follow the summary, but a direct write of them changes the figures too.
CREATE TRIGGER versao_movimento_regional_mensal BEFORE INSERT OR UPDATE OR DELETE OR TRUNCATE ON movimento_regional_mensal
    FOR EACH STATEMENT EXECUTE FUNCTION versao_dados_mudou();
ALTER TABLE movimento_regional_mensal ENABLE ALWAYS TRIGGER versao_movimento_regional_mensal;
